#pragma once
// The http module: a form POST built one field at a time, then sent and its reply read whole. One request at a time
// for the whole program: the module keeps the request being built (PostData is its body) until the next
// HttpOpenPost. Calling order: HttpOpenPost, HttpAddFormField any number of times, HttpSendPost.
#include <cstddef>
#include <string>

namespace qm {

class HttpClient;
class Scheduler;

// Field names and values percent-encoded as application/x-www-form-urlencoded does it: letters, digits and "*-._"
// stay as they are, a blank becomes "+", every other byte "%XX". So "&", "=" and "+" inside a value stay inside it.
std::string formUrlEncode(const std::string& text);

namespace http {

// Starts a POST of `path` on `host` through `client`, with the form content type and an empty body. `loop` runs the
// messages that come due while the reply is read.
void HttpOpenPost(HttpClient& client, Scheduler& loop, const std::string& host, const std::string& path);
// Adds "name=value" to the body, after an "&" unless it is the first field.
void HttpAddFormField(const std::string& name, const std::string& value);
// Sends the request and returns the reply (empty when nothing could be read), at most kReplyLimit bytes of it: the
// reading stops there and the rest is never fetched, so an endless reply cannot fill the memory. Between chunks of
// the reply the messages already waiting run.
std::string HttpSendPost();
// The usage report drops its reply unread; a few kilobytes are more than any reply of a report server needs.
constexpr std::size_t kReplyLimit = 8 * 1024;

// The body built so far, kept after the send until the next HttpOpenPost.
const std::string& PostData();

}  // namespace http
}  // namespace qm
