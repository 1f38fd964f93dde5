#include "support/dovecot_server.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "actions/tool_commands.h"

namespace pop3_support {

namespace {

std::string script() { return std::string(MAILVAK_SOURCE_DIR) + "/scripts/dovecot.sh"; }

}  // namespace

int runShell(const std::string& line) {
  int rc = std::system(line.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

int freePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    port = ntohs(a.sin_port);
  }
  close(fd);
  return port;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string makeTempDir(const char* prefix) {
  std::string pattern = std::string("/tmp/") + prefix + "XXXXXX";
  if (!mkdtemp(pattern.data())) return "";
  chmod(pattern.c_str(), 0755);
  return pattern;
}

void removeTree(const std::string& path) {
  if (path.size() > 5 && path.rfind("/tmp/", 0) == 0) {
    runShell("rm -rf '" + path + "'");
  }
}

bool DovecotServer::available() { return access("/usr/sbin/dovecot", X_OK) == 0; }

DovecotServer::~DovecotServer() { stop(); }

bool DovecotServer::start(std::string* err) {
  base_ = makeTempDir("mboxtool-dovecot.");
  if (base_.empty()) {
    *err = "no temporary directory";
    return false;
  }
  for (int attempt = 0; attempt < 5; ++attempt) {
    plainPort_ = freePort();
    stlsPort_ = freePort();
    tlsPort_ = freePort();
    if (plainPort_ == stlsPort_ || stlsPort_ == tlsPort_ || plainPort_ == tlsPort_) continue;
    std::string s = script() + " start " + base_ + " ";
    if (runShell(s + std::to_string(plainPort_) + " >/dev/null") == 0 &&
        runShell(s + std::to_string(stlsPort_) + " " + std::to_string(tlsPort_) + " >/dev/null") ==
            0) {
      return true;
    }
    runShell(script() + " stop " + base_);
  }
  *err = "dovecot did not start; see " + base_;
  return false;
}

void DovecotServer::stop() {
  if (base_.empty()) return;
  runShell(script() + " stop " + base_);
  removeTree(base_);
  base_.clear();
}

bool DovecotServer::addUser(const std::string& user, const std::string& password) {
  // Passwords with blanks, quotes or "$" must reach the users file unchanged.
  return runShell(script() + " adduser " + base_ + " " + actions::shellWord(user) + " " +
                  actions::shellWord(password)) == 0;
}

bool DovecotServer::addMessages(const std::string& user, const std::vector<std::string>& messages) {
  std::string files;
  for (const std::string& m : messages) {
    std::string path = base_ + "/msg-" + std::to_string(++added_);
    std::ofstream(path, std::ios::binary) << m;
    files += " " + path;
  }
  bool ok = runShell(script() + " addmail " + base_ + " " + user + files) == 0;
  runShell("rm -f" + files);
  return ok;
}

std::vector<std::string> DovecotServer::messagesOf(const std::string& user) const {
  std::vector<std::string> names;
  for (const char* sub : {"/cur", "/new"}) {
    std::string dir = base_ + "/mail/" + user + "/Maildir" + sub;
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') names.push_back(dir + "/" + e->d_name);
      }
      closedir(d);
    }
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return a.substr(a.rfind('/')) < b.substr(b.rfind('/'));
  });
  std::vector<std::string> texts;
  for (const std::string& n : names) texts.push_back(readFile(n));
  return texts;
}

std::string DovecotServer::log(int port) const {
  if (port == tlsPort_) port = stlsPort_;
  return readFile(base_ + "/dovecot-" + std::to_string(port) + ".log");
}

}  // namespace pop3_support
