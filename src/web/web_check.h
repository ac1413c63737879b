#pragma once
// The web page's files judged as the server judges them at start: the TLS certificate and key (read here for the
// server too, so that quillmere --check and a start agree), and what --check says of quillmere_web.ini and the users
// file. The check reads only: a users file others can read is named, not changed.
#include <QSslCertificate>
#include <QSslKey>
#include <filesystem>
#include <string>
#include <vector>

#include "web/web_settings.h"

namespace qm::web {

// The certificate and key of TLS settings; false with `error` set when either cannot be read or is not PEM.
bool loadTlsFiles(const WebSettings& settings, QSslCertificate& certificate, QSslKey& key, std::string& error);

// Each problem of the web page's settings file and users file in the machine-wide folder; none when the settings
// file does not exist (the web page is off).
std::vector<std::string> checkWebFiles(const std::filesystem::path& machineFolder);

}  // namespace qm::web
