#include "standalone/app/samplerapp/SamplerApplication.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <cstring>

#include "VNL/source/Config.h"
#include "VNL/source/FileUtils.h"
#include "VNL/source/LogLine.h"
#include "VNL/source/ProductConf.h"
#include "standalone/app/samplerapp/EngineCommand.h"
#include "standalone/app/samplerapp/FileQuestions.h"
#include "standalone/app/samplerapp/SamplerCocoaApplication.h"
#include "standalone/app/toolkit/Window.h"
#include "standalone/host/CoreMIDILayer.h"

extern const ProductConf conf;

namespace vantor::samplerapp {
namespace {

constexpr const char* kChunkExtension = "kelo";
constexpr CONFIG_LEVEL kLevel = CONFIG_LEVEL_USER;
constexpr std::int32_t kMIDIInput = 0;
constexpr double kMIDIDispatchSeconds = 0.1;

// The guard key of one device listing: a warning when the last listing never finished, the key
// written while this one runs.
void enterListingGuard(const std::string& domain, const char* key, const char* kind) {
  std::string value;
  if (readConfigStringValue(domain, key, value, kLevel)) {
    PLOGW("Last %s devices listing failed or is not finished yet!", kind);
    popupModalMessageWindow(nullptr, conf.productName,
                            std::string("Last ") + kind +
                                " devices listing failed or is not finished yet.\n"
                                "Please update your drivers or try removing some " +
                                kind + " devices.");
  } else {
    writeConfigStringValue(domain, key, "listing", kLevel);
  }
}

int readInt(const std::string& domain, const char* key, int fallback) {
  int value = fallback;
  readConfigIntValue(domain, key, value, kLevel);
  return value;
}

std::string readString(const std::string& domain, const std::string& key) {
  std::string value;
  readConfigStringValue(domain, key, value, kLevel);
  return value;
}

// Count first, then the records; false when the second call fails. No devices is success.
template <typename Record>
bool listDevices(std::int32_t command, std::int32_t kind, std::vector<Record>& records) {
  records.clear();
  std::int32_t count = 0;
  if (engineCommand(command, nullptr, &count, 0, kind) != 0 || count <= 0) return true;
  std::vector<Record> listed(static_cast<std::size_t>(count), Record{});
  if (engineCommand(command, listed.data(), &count, static_cast<std::int32_t>(listed.size()),
                    kind) != 0)
    return false;
  listed.resize(std::clamp<std::size_t>(static_cast<std::size_t>(std::max(count, 0)), 0,
                                        listed.size()));
  records = std::move(listed);
  return true;
}

// The name a record holds, even without its terminating NUL.
template <std::size_t N>
std::string recordName(const char (&name)[N]) {
  return std::string(name, std::find(name, name + N, '\0'));
}

template <typename Record, typename Match>
const Record* findRecord(const std::vector<Record>& records, Match matches) {
  const auto found = std::find_if(records.begin(), records.end(), matches);
  return found == records.end() ? nullptr : &*found;
}

bool matchesProduct(std::string name) {
  std::replace(name.begin(), name.end(), '-', ' ');
  std::replace(name.begin(), name.end(), '_', ' ');
  return name.find(conf.productName) != std::string::npos;
}

void enableMIDIDevice(std::int32_t id, const char* failureFormat) {
  if (engineCommand(PE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr, id, 1) != 0)
    logLine(LogLevel::Error, nullptr, failureFormat, id);
}

bool writeAll(int fd, const unsigned char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// The process's umask without changing it (umask(2) would, for a moment, for every thread).
mode_t currentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 022;
}

// `path` with the symbolic links at its end followed (a link to a link too), as far as they
// lead; a link to nothing gives the path it names, where the file will then be made.
std::string followLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
    std::string target(static_cast<std::size_t>(PATH_MAX), '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) break;
    target.resize(static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    path = target.front() == '/' || slash == std::string::npos ? target
                                                               : path.substr(0, slash + 1) + target;
  }
  return path;
}

// A state file that could not be loaded or saved: the user is told which and why, since the
// log alone would leave them believing it worked.
void tellStateFileFailure(const char* action, const std::string& path, const std::string& reason) {
  popupModalMessageWindow(nullptr, conf.productName,
                          std::string("Could not ") + action + " the state file \u201c" + path +
                              "\u201d: " + reason + ".");
}

std::string userDefaultChunk() {
  const std::string folder = setUserPathVendorProduct(conf.vendorName, conf.productName);
  return folder.empty() ? std::string() : folder + "/default." + kChunkExtension;
}

}  // namespace

std::string standalonePreferenceDomain() {
  return std::string("com.") + conf.vendorName + "." + conf.productName + "SA";
}

std::string midiDeviceKey(std::size_t index) {
  return (index <= 9 ? "mididevice0" : "mididevice") + std::to_string(index);
}

SamplerApplication::SamplerApplication() : m_prefsDomain(standalonePreferenceDomain()) {}

SamplerApplication::~SamplerApplication() {
  if (m_midiTimer != 0) VNT::removeTimer(m_midiTimer);
}

bool SamplerApplication::initialize() {
  VNT::Application::initialize();
  engineCommand(PE_ENGINE_INITIALIZE);

  enterListingGuard(m_prefsDomain, "listingaudiodevices", "audio");
  restoreAudioDevice();
  deleteConfigValue(m_prefsDomain, "listingaudiodevices", kLevel);

  enterListingGuard(m_prefsDomain, "listingmididevices", "MIDI");
  restoreMIDIDevices();
  deleteConfigValue(m_prefsDomain, "listingmididevices", kLevel);

  m_cocoaApplication = std::make_unique<SamplerCocoaApplication>(this);
  m_cocoaApplication->addMenus();
  initEngine();
  attachMenuBar();
  // MIDI hot-plug reaches the device manager from the main loop, and the back end's idle
  // notices an audio device that went away.
  m_midiTimer = VNT::addTimer(kMIDIDispatchSeconds, kMIDIDispatchSeconds, [] {
    MIDI_DispatchNotifications();
    engineCommand(PE_ENGINE_IDLE);
  });
  // Documents opened from outside arrive as the program's argument (start-up load) or through
  // `KeloSAAppleEventHandleODoc`; no Linux event needs a handler installed.

  if (readInt(m_prefsDomain, "firstUse", 1) == 1) {
    popupModalMessageWindow(nullptr, conf.productName,
                            "This is the first time you are running this application. Please go "
                            "to Preferences to set your Audio and MIDI devices.");
    writeConfigIntValue(m_prefsDomain, "firstUse", 0, kLevel);
  }
  return true;
}

void SamplerApplication::restoreAudioDevice() {
  if (!listDevices(PE_ENGINE_AUDIODEVICE_LIST, 0, m_audioDevices)) {
    PLOGE("cannot list audio devices!");
    return;
  }
  if (m_audioDevices.empty()) return;
  std::int32_t id = m_audioDevices.front().id;
  const int api = readInt(m_prefsDomain, "audiodeviceapi", -1);
  const std::string name = readString(m_prefsDomain, "audiodevice");
  if (!name.empty() && !findAudioDeviceByNameAndAPI(name, api, id)) {
    PLOGE("Device :%s is gone from this system, using default", name.c_str());
    id = m_audioDevices.front().id;
  }
  if (engineCommand(PE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, id) != 0) return;
  const int rate = readInt(m_prefsDomain, "samplerate", 44100);
  const int size = readInt(m_prefsDomain, "buffersize", 512);
  const std::int32_t settings =
      engineCommand(PE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, rate, size);
  engineCommand(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr,
                readInt(m_prefsDomain, "audiodevicestereopair", 0));
  if (settings != 0) PLOGE("cannot set this device to those settings");
}

bool SamplerApplication::listMIDIDevices() {
  return listDevices(PE_ENGINE_MIDIDEVICE_LIST, kMIDIInput, m_midiDevices);
}

void SamplerApplication::restoreMIDIDevices() {
  if (!listMIDIDevices()) {
    PLOGE("cannot list MIDI devices!");
    return;
  }
  if (m_midiDevices.empty()) return;
  int saved = 0;
  if (!readConfigIntValue(m_prefsDomain, "nbmididevice", saved, kLevel)) {
    bool matched = false;
    for (const PEMIDIDeviceRecord& device : m_midiDevices) {
      const std::string name = recordName(device.name);
      if (!matchesProduct(name)) continue;
      matched = true;
      PLOGI("found a driver whose name matches the Kelo product: %s", name.c_str());
      enableMIDIDevice(device.id, "cannot set midi device:%d");
    }
    if (!matched) {
      PLOGI("did not find a driver whose name matches the Kelo product: %s reverting to first "
            "available",
            conf.productName);
      enableMIDIDevice(m_midiDevices.front().id, "cannot set MIDI device: %d");
    }
    return;
  }
  // Every saved device still present comes back, not only the last one found.
  std::vector<std::int32_t> found;
  for (int i = 0; i < saved; ++i) {
    const std::string name = readString(m_prefsDomain, midiDeviceKey(static_cast<std::size_t>(i)));
    std::int32_t id = 0;
    if (name.empty()) continue;
    if (!findMIDIDeviceByName(name, id)) {
      PLOGE("Device :%s is gone from this system, using default", name.c_str());
    } else if (std::find(found.begin(), found.end(), id) == found.end()) {
      found.push_back(id);
    }
  }
  if (saved > 0 && found.empty()) found.push_back(m_midiDevices.front().id);
  for (std::int32_t id : found)
    enableMIDIDevice(id, "cannot set midi device:%d  it is probably already in use.");
}

bool SamplerApplication::initEngine() {
  if (m_engineStarted) {
    PLOGI("already init");
    return true;
  }
  if (engineCommand(PE_ENGINE_AUDIO_START) != 0)
    popupModalMessageWindow(nullptr, "init: Audio Engine Start Error", "Please check sample rate");
  engineCommand(PE_ENGINE_INSTRUMENT_ADD);
  engineCommand(PE_ENGINE_INSTRUMENT_GUI_SHOW);
  m_engineStarted = true;
  return true;
}

void SamplerApplication::attachMenuBar() {
  if (m_cocoaApplication == nullptr || m_cocoaApplication->menus().empty()) return;
  VNT::Window* window = VNT::MainWindow::current();
  if (window == nullptr) {
    // No editor window (a front end without windows): the menus get a window of their own,
    // so the program can still be driven and quit.
    window = new VNT::MainWindow({50, 50}, {400, 1}, VNT::WindowKind::Ordinary,
                                 VNT::kWindowMiniaturisable, conf.productName, "SA");
    window->show(true);
  }
  KELOSAApplication* target = &m_cocoaApplication->target();
  window->setMenuBar(m_cocoaApplication->menus(),
                     [target](const std::string& action) { target->dispatch(action); });
}

bool SamplerApplication::terminate() {
  std::int32_t id = -1;
  const bool asked = engineCommand(PE_ENGINE_AUDIODEVICE_GET, &id) == 0;
  std::int32_t rate = 44100;
  std::int32_t size = 512;
  engineCommand(PE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &size);
  std::int32_t pair = 0;
  engineCommand(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET, &pair);

  // Only a device open in this run is written: a start without one (no JACK server, the
  // device unplugged) keeps the saved device and its settings for the next start.
  std::string name;
  const PEAudioDeviceRecord* device =
      asked ? findRecord(m_audioDevices, [&](const auto& r) { return r.id == id; }) : nullptr;
  if (device == nullptr) {
    PLOGE("Cannot find audio device name:%d", id);
  } else {
    findAudioDeviceById(name, id);
    writeConfigStringValue(m_prefsDomain, "audiodevice", name, kLevel);
    writeConfigIntValue(m_prefsDomain, "audiodeviceapi", device->hostApiCode, kLevel);
    writeConfigIntValue(m_prefsDomain, "audiodevicestereopair", pair, kLevel);
    writeConfigIntValue(m_prefsDomain, "samplerate", rate, kLevel);
    writeConfigIntValue(m_prefsDomain, "buffersize", size, kLevel);
  }

  saveMIDIDevices();

  if (m_midiTimer != 0) {
    VNT::removeTimer(m_midiTimer);
    m_midiTimer = 0;
  }
  engineCommand(PE_ENGINE_AUDIO_STOP);
  engineCommand(PE_ENGINE_SHUTDOWN);
  return VNT::Application::terminate();
}

void SamplerApplication::saveMIDIDevices() {
  // A failed listing keeps the list made at start rather than losing every name.
  std::vector<PEMIDIDeviceRecord> atStart = m_midiDevices;
  if (!listMIDIDevices()) {
    PLOGE("error trying to get the MIDI Devices list before saving Preferences");
    m_midiDevices = atStart;
  }
  std::vector<std::int32_t> used;
  if (engineCommand(PE_ENGINE_MIDIDEVICE_GETUSED, &used, nullptr, kMIDIInput) != 0) return;
  // Without a MIDI device at start nothing was restored or could be: the saved choice stays.
  if (used.empty() && atStart.empty()) return;
  std::size_t written = 0;
  for (std::int32_t id : used) {
    std::string name;
    if (!findMIDIDeviceById(name, id)) {
      PLOGE("Cannot find midi device name:%d", id);
      continue;
    }
    writeConfigStringValue(m_prefsDomain, midiDeviceKey(written++), name, kLevel);
  }
  writeConfigIntValue(m_prefsDomain, "nbmididevice", static_cast<int>(written), kLevel);
}

bool SamplerApplication::findAudioDeviceByNameAndAPI(const std::string& name, std::int32_t api,
                                                     std::int32_t& id) const {
  const PEAudioDeviceRecord* device = findRecord(m_audioDevices, [&](const auto& r) {
    return r.hostApiCode == api && recordName(r.name) == name;
  });
  if (device != nullptr) id = device->id;
  return device != nullptr;
}

bool SamplerApplication::findMIDIDeviceByName(const std::string& name, std::int32_t& id) const {
  const PEMIDIDeviceRecord* device =
      findRecord(m_midiDevices, [&](const auto& r) { return recordName(r.name) == name; });
  if (device != nullptr) id = device->id;
  return device != nullptr;
}

bool SamplerApplication::findAudioDeviceById(std::string& name, std::int32_t id) const {
  const PEAudioDeviceRecord* device =
      findRecord(m_audioDevices, [&](const auto& r) { return r.id == id; });
  if (device != nullptr) name = recordName(device->name);
  return device != nullptr;
}

bool SamplerApplication::findMIDIDeviceById(std::string& name, std::int32_t id) const {
  const PEMIDIDeviceRecord* device =
      findRecord(m_midiDevices, [&](const auto& r) { return r.id == id; });
  if (device != nullptr) name = recordName(device->name);
  return device != nullptr;
}

void SamplerApplication::loadFile(const std::string& path) { innerLoadChunk(path); }

void SamplerApplication::onSaveChunk() {
  const std::string path = selectFile("Save kelo file", kChunkExtension, false);
  if (path.empty()) return;
  saveChunkTo(path);
}

void SamplerApplication::saveChunkTo(const std::string& path) {
  unsigned char* chunk = nullptr;
  std::int32_t length = 0;
  if (engineCommand(PE_ENGINE_INSTRUMENT_CHUNK_SAVE, &chunk, &length, 0) != 0) {
    tellStateFileFailure("save", path, "the instrument gave no state to save");
    return;
  }
  const std::size_t size = chunk != nullptr ? static_cast<std::size_t>(std::max(length, 0)) : 0;
  bool created = false;
  if (!writeFileAtomically(path, chunk, size, created)) {
    const std::string reason = std::strerror(errno);
    if (!created)
      PLOGE("failed to create file : %s", path.c_str());
    else
      PLOGE("failed to save chunk to : %s", path.c_str());
    tellStateFileFailure("save", path, reason);
  }
  engineCommand(PE_ENGINE_INSTRUMENT_CHUNK_SAVE_END, nullptr, nullptr, 0);
}

void SamplerApplication::onLoadChunk() {
  const std::string path = selectFile("Load kelo file", kChunkExtension, true);
  if (!path.empty()) innerLoadChunk(path);
}

void SamplerApplication::saveDefaultChunk() {
  const std::string path = userDefaultChunk();
  if (path.empty()) {
    PLOGE("failed to create file : default.%s", kChunkExtension);
    tellStateFileFailure("save", std::string("default.") + kChunkExtension,
                         "the user's product folder cannot be made");
    return;
  }
  saveChunkTo(path);
}

int SamplerApplication::innerLoadChunk(const std::string& path) {
  if (!m_engineStarted) {
    PLOGI("innerLoadChunk init Engine");
    initEngine();
  }
  // O_NONBLOCK: a FIFO is refused by the reading instead of waited on here.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const std::string reason = std::strerror(errno);
    PLOGE("load chunk cannot open file : %s", path.c_str());
    tellStateFileFailure("load", path, reason);
    return 0;
  }
  struct stat status {};
  const bool known = ::fstat(fd, &status) == 0;
  ::close(fd);
  std::string refusal;
  // The chunk's length travels as an int32.
  if (known && !S_ISREG(status.st_mode))
    refusal = "it is not a regular file";
  else if (known && status.st_size > INT32_MAX)
    refusal = "it is too large to be a state file";
  else if (known && status.st_size == 0)
    refusal = "it is empty";
  std::size_t length = 0;
  std::size_t spare = 0;
  unsigned char* bytes = refusal.empty() ? binFileInternalize(path, length, spare) : nullptr;
  if (bytes == nullptr || length == 0) {
    PLOGE("load chunk cannot read file : %s", path.c_str());
    tellStateFileFailure("load", path, refusal.empty() ? "it could not be read whole" : refusal);
  } else if (engineCommand(PE_ENGINE_INSTRUMENT_CHUNK_LOAD, bytes, nullptr, 0, 0,
                           static_cast<std::int32_t>(length)) != 0) {
    PLOGE("load chunk failed for file : %s", path.c_str());
    tellStateFileFailure("load", path, "the instrument cannot use what it holds");
  }
  binFileFree(bytes);
  return 0;
}

int KeloSAAppleEventHandleODoc(const std::vector<std::string>& paths,
                               SamplerApplication* application) {
  if (application == nullptr) return 0;
  wrap_SetFrontProcess();
  for (const std::string& path : paths) application->innerLoadChunk(path);
  return 0;
}

bool writeFileAtomically(const std::string& requested, const unsigned char* bytes, std::size_t size,
                         bool& created) {
  // A symbolic link stays: the file it leads to is the one replaced.
  const std::string path = followLinks(requested);
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  std::string temporary = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
                          "." + path.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  created = fd >= 0;
  if (!created) return false;
  // A replaced file keeps its mode, a new one gets what the user's umask leaves of 0666
  // (mkostemp made it 0600).
  struct stat existing {};
  const mode_t mode =
      ::stat(path.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0666 & ~currentUmask();
  bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes, size) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    const int error = errno;  // the reason, not the clean-up's
    ::unlink(temporary.c_str());
    errno = error;
    return false;
  }
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

}  // namespace vantor::samplerapp
