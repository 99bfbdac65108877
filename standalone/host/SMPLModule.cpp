#include "standalone/host/SMPLModule.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "VNL/source/Config.h"
#include "VNL/source/FileUtils.h"
#include "VNL/source/LogLine.h"
#include "VNL/source/ProductConf.h"
#include "platform/cf/CFURL.h"
#include "standalone/engine_interface/EngineBinding.h"
#include "standalone/engine_interface/EngineVersion.h"
#include "standalone/host/DSPInfo.h"

namespace vantor {

namespace {

constexpr const char* kChunkExtension = "kelo";
constexpr const char* kSetupFileName = "KeloSetup.xml";
constexpr std::size_t kApplicationPathSize = 1024;
constexpr int kWindowWidthForFullMediaBar = 755;
constexpr int kRecorderPanelX = 465;
constexpr int kRecorderPanelXSmall = 390;
constexpr int kMediaBarHeight = 40;

std::string defaultChunkIn(const std::string& folder) {
  return folder + "/default." + kChunkExtension;
}

bool pathExists(const std::string& path) { return fileExists(path); }

// Copies `text` into the fixed data-folder buffer; a longer text cannot name the folder.
void copyDataFolder(char (&folder)[SMPLModule::kDataFolderSize], const std::string& text) {
  if (text.size() >= sizeof folder) {
    PLOGW("SMPLModule: data folder of %zu bytes cut to %zu", text.size(), sizeof folder - 1);
  }
  const std::size_t length = std::min(text.size(), sizeof folder - 1);
  std::memcpy(folder, text.data(), length);
  folder[length] = '\0';
}

}  // namespace

StartupChunkChoice chooseStartupChunk(const std::vector<std::string>* arguments,
                                      const std::string& userDefault,
                                      const std::string& dataFolderDefault,
                                      bool (*exists)(const std::string&)) {
  StartupChunkChoice choice;
  choice.source = StartupChunkChoice::Source::UserDefault;
  choice.path = userDefault;
  if (arguments != nullptr && arguments->size() >= 2) {
    const std::string& argument = (*arguments)[1];
    if (!argument.empty() && exists(argument)) {
      if (getFileExtension(getFileFromPath(argument)) != kChunkExtension) {
        return StartupChunkChoice{StartupChunkChoice::Source::Skip, std::string(), false};
      }
      choice.source = StartupChunkChoice::Source::Argument;
      choice.path = argument;
    }
  }
  if (!exists(choice.path)) {
    choice.noUserDefault = true;
    choice.source = StartupChunkChoice::Source::DataFolderDefault;
    choice.path = dataFolderDefault;
  }
  return choice;
}

std::string folderHoldingApplication() {
  std::string folder;
  CFURLRef url = CFBundleCopyBundleURL(CFBundleGetMainBundle());
  UInt8 path[kApplicationPathSize] = {};
  if (url != nullptr && CFURLGetFileSystemRepresentation(url, true, path, sizeof path)) {
    folder = reinterpret_cast<const char*>(path);
  }
  if (url != nullptr) CFRelease(url);
  const std::size_t slash = folder.rfind('/');
  if (slash != std::string::npos) folder.resize(slash);
  return folder;
}

SMPLModule::SMPLModule(InstrumentFrontEnd* frontEnd, CommandFunction commands)
    : m_productDomain(productPreferenceDomain(conf.vendorName, conf.productName)),
      m_frontEnd(frontEnd != nullptr ? frontEnd : &NullInstrumentFrontEnd::shared()),
      m_commands(commands) {
  m_numOutputs = 2;
}

SMPLModule::~SMPLModule() {
  // The timer holds a pointer to this module: it goes first.
  if (m_idleTimer != InstrumentFrontEnd::kNoTimer) m_frontEnd->removeTimer(m_idleTimer);
  m_idleTimer = InstrumentFrontEnd::kNoTimer;
  if (m_engine.hasEngine()) {
    if (m_editor.exists()) m_editor.close(m_engine, m_engine.instance() != nullptr, kIgnoreEngineResult);
    if (m_engine.instance() != nullptr) m_engine.destroy();
    m_engine.bind(nullptr, kKeloDefaultEngineVersion);
  }
  if (m_bundle != nullptr) CFRelease(m_bundle);
  m_bundle = nullptr;
}

bool SMPLModule::init(const Context* context, const DSPInfo* dspInfo) {
  setContext(context);
  m_dspInfo = dspInfo;
  PLOGI("SMPLModule::init()");
  m_baseDir.clear();

  if (!m_engine.hasEngine()) {
    EngineBinding binding = bindEngineOrExit(conf.vendorName, conf.productName);
    m_baseDir = binding.dataFolder;
    m_enginePath = binding.enginePath;
    // The module holds binding's one reference and gives it back when it goes; a second
    // reference that nobody releases would only leak the bundle with every module.
    m_bundle = binding.bundle;
    // The standalone processes through KELO_OP_PROCESS whatever the engine's version.
    m_engine.bind(binding.entry, kKeloDefaultEngineVersion);
  } else {
    readEngineDataFolder(conf.vendorName, conf.productName, m_baseDir);
  }

  const EngineVersion version = fetchEngineVersion(m_engine.entry());
  PLOGI("fetched Version:%s", version.text);
  copyDataFolder(m_dataFolder, m_baseDir);

  if (m_engine.instance() == nullptr) createInstance();
  sendFormat();
  return true;
}

void SMPLModule::createInstance() {
  m_createInfo.numInputs = 0;
  m_createInfo.numOutputs = 2;
  m_createInfo.hostConstant = kKeloHostConstantStandalone;
  m_createInfo.dataPath = m_dataFolder;
  m_engine.create(m_createInfo);
  if (m_engine.instance() != nullptr) return;

  PLOGE("Engine creation failed!");
  const std::string folder =
      m_applicationFolder.empty() ? folderHoldingApplication() : m_applicationFolder;
  copyDataFolder(m_dataFolder, folder);
  m_createInfo.hostConstant = kKeloHostConstantStandalone;
  m_engine.create(m_createInfo);
  if (m_engine.instance() == nullptr) {
    PLOGE("no engine ticket!");
    std::exit(0);
  }
  PLOGI("found the file in the current directory : %s", m_dataFolder);
}

void SMPLModule::sendFormat() {
  if (!m_engine.hasInstance() || m_dspInfo == nullptr) return;
  m_engine.setFormat(static_cast<std::int32_t>(m_dspInfo->sampleRateInt),
                     static_cast<std::int32_t>(m_dspInfo->blockSize));
}

void SMPLModule::setDSPInfo(const DSPInfo* dspInfo) {
  Module::setDSPInfo(dspInfo);
  sendFormat();
  if (m_dspInfo != nullptr) setOffline(m_dspInfo->offline);
}

void SMPLModule::setOffline(bool offline) {
  const bool wasOffline = m_offline;
  m_offline = offline;
  if (offline && !wasOffline) {
    if (m_frontEnd->hasRecorderPanel() && m_frontEnd->isRecorderRecording()) {
      m_frontEnd->stopRecorder();
    }
  } else if (!offline && wasOffline) {
    if (m_frontEnd->hasPlayerPanel()) m_frontEnd->reloadPlayer();
  }
}

void SMPLModule::start() {
  if (!m_engine.hasInstance()) return;
  m_engine.start(m_dspInfo != nullptr && m_dspInfo->offline);
}

void SMPLModule::stop() {
  if (!m_engine.hasInstance()) return;
  m_engine.stop();
}

bool SMPLModule::saveChunk(unsigned char** data, int& size) {
  if (!m_engine.hasInstance()) return false;
  std::int32_t length = 0;
  void* bytes = nullptr;
  if (m_engine.chunk(&bytes, length) != 0) return false;
  if (data != nullptr) *data = static_cast<unsigned char*>(bytes);
  size = length;
  return true;
}

bool SMPLModule::loadChunk(unsigned char* data, int size) {
  if (!m_engine.hasInstance()) return false;
  return m_engine.setChunk(data, size) == 0;
}

void SMPLModule::processMIDIStereo(const std::vector<MIDIEvent>& events, float** inputs,
                                   float** outputs, unsigned frames, bool add) {
  // The graph has ordered them; beyond the block's capacity they are dropped.
  const std::size_t count = std::min(events.size(), kMIDIEventBlockCapacity);
  if (count > 0) std::memcpy(m_eventBlock.events, events.data(), count * sizeof(MIDIEvent));
  m_eventBlock.numEvents = count;
  if (!m_engine.hasInstance()) return;
  m_engine.process(m_eventBlock, nullptr, nullptr, outputs, nullptr, static_cast<std::int32_t>(frames));
}

bool SMPLModule::showUI(void* parent) {
  if (!m_engine.hasEngine() || m_windowShown) return false;
  m_windowShown = true;
  const std::string setupFile = std::string(m_dataFolder) + "/" + kSetupFileName;

  int usesMediaBar = 1;
  if (readConfigIntValue(m_productDomain + "SA", "usesMediaBar", usesMediaBar,
                         CONFIG_LEVEL_SYSTEM)) {
    m_usesMediaBar = usesMediaBar;
  }

  // Without a window the editor has nowhere to open: it is not created at all.
  void* view =
      m_frontEnd->createMainWindow(std::string(conf.vendorName) + " " + conf.productName);
  std::int32_t height = 0;
  std::int32_t width = 0;
  if (view != nullptr) {
    m_editor.create(m_engine.entry(), setupFile.c_str(), m_engine.instance());
    if (m_editor.exists()) {
      m_editor.show(m_engine, view, kIgnoreEngineResult);
      m_editor.size(height, width);
    }
  }

  int recorderX = kRecorderPanelX;
  if (width < kWindowWidthForFullMediaBar) {
    PLOGI("smallerSize enabled");
    recorderX = kRecorderPanelXSmall;
  }
  m_frontEnd->setClientSizeAndCentre(width, height + (m_usesMediaBar != 0 ? kMediaBarHeight : 0));
  if (m_usesMediaBar != 0) m_frontEnd->addMediaBar(height, recorderX, m_baseDir);
  m_frontEnd->showMainWindow();
  m_idleTimer = m_frontEnd->addTimer(kIdleIntervalSeconds, kIdleIntervalSeconds, &idleTimerFired,
                                     this);
  loadDefaultChunk();
  return false;
}

void SMPLModule::idleTimerFired(void* module) { static_cast<SMPLModule*>(module)->idle(); }

void SMPLModule::idle() {
  if (!m_editor.exists()) return;
  m_editor.idle();
  if (m_offline) return;
  if (m_frontEnd->hasPlayerPanel() && m_idleCount >= kIdlePollTicks) {
    double position = 0.0;
    if (m_commands != nullptr) {
      m_commands(kCommandMIDIPositionGet, &position, nullptr, 0, 0, 0, 0.0f);
    }
    m_idleCount = 0;
    if (position == 1.0) {
      m_frontEnd->stopPlayer();
      m_frontEnd->seekPlayer();
    } else {
      m_frontEnd->setPlayerSlider(static_cast<int>(position * 100.0));
    }
  } else {
    ++m_idleCount;
  }
}

bool SMPLModule::loadDefaultChunk() {
  const std::string userDefault =
      defaultChunkIn(setUserPathVendorProduct(conf.vendorName, conf.productName));
  std::vector<std::string> arguments;
  const bool haveArguments =
      m_commands != nullptr &&
      m_commands(kCommandAppArgumentsGet, &arguments, nullptr, 0, 0, 0, 0.0f) == 0;
  StartupChunkChoice choice = chooseStartupChunk(
      haveArguments ? &arguments : nullptr, userDefault, defaultChunkIn(m_baseDir), &pathExists);
  if (choice.source == StartupChunkChoice::Source::Skip) return true;
  if (choice.noUserDefault) {
    PLOGI("no user default.%s found, check in app dataPath", kChunkExtension);
  }

  // Opened, and what went wrong when the chunk did not load (empty: it loaded).
  const auto load = [this](const std::string& path, std::string& failure) {
    std::size_t length = 0;
    std::size_t spare = 0;
    // The chunk's length travels as an int32: a longer file is refused before it is read.
    unsigned char* bytes = binFileInternalize(path, length, spare, INT32_MAX);
    const bool opened = bytes != nullptr;
    if (!opened)
      failure = errno == EFBIG ? "it is too large" : "it could not be read";
    else if (length == 0)
      failure = "it is empty";
    else if (!loadChunk(bytes, static_cast<int>(length)))
      failure = "the instrument cannot use what it holds";
    binFileFree(bytes);
    return opened;
  };
  std::string failure;
  bool opened = load(choice.path, failure);
  if (!failure.empty() && choice.source == StartupChunkChoice::Source::Argument) {
    // The file the user asked for is told about; the start goes on as one without a file.
    PLOGE("cannot load the state file given at start : %s", choice.path.c_str());
    popupModalMessageWindow(nullptr, conf.productName,
                            "Could not load the state file \u201c" + choice.path + "\u201d: " +
                                failure + ".");
    choice = chooseStartupChunk(nullptr, userDefault, defaultChunkIn(m_baseDir), &pathExists);
    opened = load(choice.path, failure);
  }
  return opened;
}

}  // namespace vantor
