#pragma once
// Each kind of line opens itself from a parsed LineSpec; lines.cpp chooses the kind.
#include <memory>
#include <string>

#include "radio/lines.h"

namespace qm::radio {

std::unique_ptr<PttLine> openPtyPttLine(const LineSpec& spec, std::string& error);
std::unique_ptr<SquelchLine> openPtySquelchLine(const LineSpec& spec, std::string& error);

}  // namespace qm::radio
