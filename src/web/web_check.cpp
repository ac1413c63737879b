#include "web/web_check.h"

#include <QFile>

#include "web/user_store.h"

namespace qm::web {

bool loadTlsFiles(const WebSettings& s, QSslCertificate& certificate, QSslKey& key, std::string& error) {
  QFile certFile(QString::fromStdString(s.tlsCertificate)), keyFile(QString::fromStdString(s.tlsKey));
  if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
    error = "the web server's TLS certificate or key cannot be read (" + s.tlsCertificate + ", " + s.tlsKey + ")";
    return false;
  }
  certificate = QSslCertificate(&certFile, QSsl::Pem);
  key = QSslKey(&keyFile, QSsl::Rsa, QSsl::Pem);
  if (key.isNull()) {
    keyFile.seek(0);
    key = QSslKey(&keyFile, QSsl::Ec, QSsl::Pem);
  }
  if (certificate.isNull() || key.isNull()) {
    error = "the web server's TLS certificate or key is not PEM (" + s.tlsCertificate + ", " + s.tlsKey + ")";
    return false;
  }
  return true;
}

std::vector<std::string> checkWebFiles(const std::filesystem::path& machineFolder) {
  std::vector<std::string> problems;
  const std::filesystem::path file = machineFolder / kWebSettingsFile;
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return problems;
  const WebSettings s = readWebSettings(file, problems);
  // A start names half a TLS setting only when the server is on; the check names it either way.
  if (s.tlsCertificate.empty() != s.tlsKey.empty() && !s.enabled) {
    bool named = false;
    for (const std::string& p : problems) named = named || p.find("TlsCertificate and TlsKey") != std::string::npos;
    if (!named)
      problems.push_back(file.string() + ": TlsCertificate and TlsKey go together; the web server would not start");
  }
  if (s.tls()) {
    QSslCertificate certificate;
    QSslKey key;
    std::string error;
    if (!loadTlsFiles(s, certificate, key, error))
      problems.push_back(file.string() + ": " + error + "; the web server does not start");
  }
  if (!s.enabled) return problems;
  UserStore users(machineFolder / kUsersFile);
  if (users.load(problems, /*makePrivate=*/false) && users.users().empty())
    problems.push_back(users.file().string() +
                       ": holds no users; nobody can log in to the web page (quillmere --add-user)");
  return problems;
}

}  // namespace qm::web
