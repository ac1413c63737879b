// A client's bytes as the web server reads them: the head parsed whole and, when it is complete, parsed again from
// exactly its own bytes (a reader that reads in pieces must come to the same end), then every accessor of the
// request. A finished head never claims more bytes than were given, and a refusal always says why with a status.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "web/http_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using qm::web::HeadParse;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  qm::web::HttpRequest request;
  const HeadParse parse = qm::web::parseHead(text, request);
  if (parse.kind == HeadParse::Kind::Failed && (parse.status < 400 || parse.status > 599)) std::abort();
  if (parse.kind != HeadParse::Kind::Done) return 0;
  if (parse.length == 0 || parse.length > size) std::abort();
  qm::web::HttpRequest again;
  const HeadParse same = qm::web::parseHead(text.substr(0, parse.length), again);
  if (same.kind != HeadParse::Kind::Done || same.length != parse.length || again.path != request.path) std::abort();
  (void)request.header("host");
  (void)request.cookie("quillmere_session");
  (void)request.queryParameter("day");
  (void)request.webSocketUpgrade();
  (void)qm::web::percentDecode(request.query);
  return 0;
}
