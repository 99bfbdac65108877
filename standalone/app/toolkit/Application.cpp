#include "standalone/app/toolkit/Application.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/cf/CFBundle.h"
#include "standalone/app/toolkit/gtk/GtkBackend.h"

namespace vantor::VNT {
namespace {

ApplicationDelegate* g_delegate = nullptr;

std::function<void(int)>& processEnd() {
  static std::function<void(int)> end;
  return end;
}

std::string resourcesFolder() {
  CFURLRef url = CFBundleCopyResourcesDirectoryURL(CFBundleGetMainBundle());
  if (url == nullptr) return {};
  char path[4096];
  const bool ok = CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(path),
                                                   sizeof path);
  CFRelease(url);
  return ok ? std::string(path) : std::string();
}

// The first word of `line` after position `from`, moving `from` past it and one blank.
std::string nextWord(const std::string& line, std::size_t& from) {
  const std::size_t end = line.find(' ', from);
  std::string word = line.substr(from, end == std::string::npos ? std::string::npos : end - from);
  from = end == std::string::npos ? line.size() : end + 1;
  return word;
}

}  // namespace

bool Application::initialize() {
  startGtkBackendIfDisplay();
  const std::string folder = resourcesFolder();
  if (!folder.empty()) loadInterfaceFile(folder + "/cocoa");
  return true;
}

bool Application::runLoop() {
  auto* delegate = new ApplicationDelegate(this);
  (void)delegate;
  installQuitSignals();
  backend().runMainLoop();
  return true;
}

bool Application::loadInterfaceFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::stringstream text;
  text << file.rdbuf();
  return parseInterfaceText(text.str(), m_menus);
}

ApplicationDelegate* ApplicationDelegate::current() { return g_delegate; }

ApplicationDelegate::ApplicationDelegate(Application* application) : m_app(application) {
  g_delegate = this;
}

ApplicationDelegate::~ApplicationDelegate() {
  if (g_delegate == this) g_delegate = nullptr;
}

void ApplicationDelegate::applicationWillTerminate() {
  if (m_app != nullptr) {
    Application* app = m_app;
    m_app = nullptr;
    app->terminate();
    delete app;
  }
  delete this;
}

bool ApplicationDelegate::openFile(const std::string& utf8Path) {
  if (m_app == nullptr || utf8Path.size() > kMaxOpenFileNameBytes) return false;
  m_app->loadFile(utf8Path);
  return true;
}

bool requestOpenFile(const std::string& utf8Path) {
  return g_delegate != nullptr && g_delegate->openFile(utf8Path);
}

void quitApplication() {
  if (g_delegate != nullptr) g_delegate->applicationWillTerminate();
  if (processEnd())
    processEnd()(0);
  else
    std::exit(0);
}

void setProcessEnd(std::function<void(int status)> end) { processEnd() = std::move(end); }

bool parseInterfaceText(const std::string& text, MenuBarModel& menus) {
  MenuBarModel parsed;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::size_t at = 0;
    const std::string statement = nextWord(line, at);
    if (statement == "menu" && at < line.size()) {
      parsed.push_back({line.substr(at), {}});
    } else if (statement == "separator" && at >= line.size() && !parsed.empty()) {
      parsed.back().items.push_back({});
    } else if (statement == "item" && !parsed.empty()) {
      MenuItemModel item;
      item.action = nextWord(line, at);
      item.key = nextWord(line, at);
      item.title = line.substr(at);
      if (item.action.empty() || item.title.empty() || item.key.empty()) return false;
      if (item.key == "-") item.key.clear();
      else if (item.key.size() != 1) return false;
      parsed.back().items.push_back(std::move(item));
    } else {
      return false;
    }
  }
  menus = std::move(parsed);
  return true;
}

TimerId addTimer(double firstSeconds, double intervalSeconds, std::function<void()> callback) {
  return backend().addTimer(firstSeconds, intervalSeconds, std::move(callback));
}

void removeTimer(TimerId id) { backend().removeTimer(id); }

}  // namespace vantor::VNT
