// The two built plug-ins as hosts load them: binding through VSTPluginMain (each case in a
// process of its own, since a binding failure refuses every later instance of the process),
// the record each build hands out, a real Linux host's scanner, and the install script.
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "VNL/source/Config.h"
#include "tests/plugins/vst/RackFixture.h"
#include "tests/support/PreferenceSandbox.h"

namespace kelo::test {
namespace {

struct ChildRun {
  int status = -1;
  std::string report;  // what the child wrote
  std::string errors;  // its standard error
};

/// Runs `body` in a child process; its answer and its standard error come back.
ChildRun runInChild(const std::function<std::string()>& body) {
  TempDir scratch;
  const std::string reportPath = scratch.file("report");
  const std::string errorPath = scratch.file("errors");
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::FILE* errors = std::freopen(errorPath.c_str(), "w", stderr);
    std::string report = body();
    writeFile(reportPath, report);
    if (errors) std::fflush(errors);
    ::_exit(0);
  }
  ChildRun run;
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    run.status = WEXITSTATUS(status);
  run.report = readFile(reportPath);
  run.errors = readFile(errorPath);
  return run;
}

VstPluginMainProc entryOf(const char* library) {
  void* handle = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
  return handle ? reinterpret_cast<VstPluginMainProc>(::dlsym(handle, "VSTPluginMain")) : nullptr;
}

bool contains(const std::string& text, const std::string& fragment) {
  return text.find(fragment) != std::string::npos;
}

class RackBuildsTest : public RackTest {};

TEST_F(RackBuildsTest, BindingTable) {
  const std::string missing = m_data.file("Missing.bundle");
  struct Case {
    const char* name;
    bool dataFolder;
    std::string enginePath;
    std::intptr_t hostVersion;
    std::string report;     // what the child saw
    std::string logLine;    // an "E:" line of the plug-in's log ("" none)
    std::string alertText;  // on standard error ("" none)
  };
  const Case cases[] = {
      {"bound", true, KELO_ENGINE_BUNDLE, 2400, "effect silent:1 engine:1", "", ""},
      {"no base_dir", false, KELO_ENGINE_BUNDLE, 2400, "null null lines:0", "",
       "Cannot find data installation, please re-install"},
      {"no path", true, "", 2400, "effect silent:1 engine:0", "Can't get path from configuration",
       "Cannot find engine installation, please re-install"},
      {"no bundle", true, missing, 2400, "null null lines:1", "Can't load engine bundle from : " + missing,
       "Cannot find engine file, please re-install"},
      {"empty path", true, "<empty>", 2400, "null null lines:1", "Can't load engine bundle from : ",
       "Cannot find engine file, please re-install"},
      {"no keloOpcode", true, NOT_AN_ENGINE_BUNDLE, 2400, "null null lines:1",
       "CFBundleGetFunctionPointerForName failed for keloOpcode",
       "Cannot connect to engine, please re-install"},
      {"host version 0", true, KELO_ENGINE_BUNDLE, 0, "null calls:1", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PreferenceSandbox::clear();
    if (c.enginePath == "<empty>") {
      installEngine(m_data.path(), "");
      ASSERT_TRUE(vantor::writeConfigStringValue("com.vantor.kelo", "path", "",
                                                 vantor::CONFIG_LEVEL_USER));
    } else {
      installEngine(c.dataFolder ? m_data.path() : "", c.enginePath);
    }
    std::filesystem::remove(pluginLogPath());
    const ChildRun run = runInChild([&] {
      RecordingAudioMaster& host = m_host;  // the child's copy of the installed recorder
      vantor::setAlertBackend(nullptr);
      host.setVersion(c.hostVersion);
      const VstPluginMainProc main = entryOf(KELO_RACK_SO);
      if (!main) return std::string("no entry point");
      AEffect* effect = main(host.callback);
      if (c.hostVersion == 0)
        return std::string(effect ? "effect" : "null") + " calls:" +
               std::to_string(host.calls().size());
      if (!effect) {
        // The refused instance's lines, before a later instance starts the log again.
        const std::size_t lines = c.logLine.empty() ? 0 : pluginLogCount('E', c.logLine);
        // Refused for good: a later instance is refused even once the folder is there.
        installEngine(m_data.path(), KELO_ENGINE_BUNDLE);
        return std::string("null ") + (main(host.callback) ? "effect" : "null") +
               " lines:" + std::to_string(lines);
      }
      float left[64], right[64];
      std::fill(std::begin(left), std::end(left), 0.5f);
      std::fill(std::begin(right), std::end(right), 0.5f);
      float* outputs[] = {left, right};
      dispatch(effect, effMainsChanged, 0, 1);
      effect->processReplacing(effect, nullptr, outputs, 64);
      bool silent = true;
      for (int i = 0; i < 64; ++i) silent = silent && left[i] == 0.0f && right[i] == 0.0f;
      const bool engineCalled = !engineTrace().empty();
      dispatch(effect, effClose);
      return std::string("effect silent:") + (silent ? "1" : "0") +
             " engine:" + (engineCalled ? "1" : "0");
    });
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.report, c.report);
    if (!c.alertText.empty()) {
      EXPECT_TRUE(contains(run.errors, "alert: Sorvelin KELO Player: " + c.alertText)) << run.errors;
    } else {
      EXPECT_FALSE(contains(run.errors, "alert:")) << run.errors;
    }
    if (!c.logLine.empty() && c.report.rfind("effect", 0) == 0) {
      EXPECT_EQ(pluginLogCount('E', c.logLine), 1u);
    }
    if (c.hostVersion == 0) {
      EXPECT_FALSE(std::filesystem::exists(pluginLogPath()));  // no object was made
    } else {
      EXPECT_EQ(pluginLogCount('I', " instance:1"), 1u);
    }
    if (c.report == "effect silent:1 engine:1") {
      EXPECT_EQ(pluginLogCount('I', "Local Kelo Version:1056"), 1u);
      EXPECT_EQ(pluginLogCount('I', "AAA"), 1u);
      EXPECT_EQ(pluginLogCount('I', "BBB"), 1u);
      EXPECT_TRUE(pluginLog('E').empty());
    }
  }
}

TEST_F(RackBuildsTest, TheRecordOfEachBuild) {
  struct Case {
    const char* library;
    std::int32_t outputs;
    std::int32_t uniqueID;
    const char* name;
  };
  const Case cases[] = {
      {KELO_RACK_SO, 2, vstFourCC('Q', 'U', 'V', 'E'), "KELO Player"},
      {KELO_RACK_MULTI_SO, 32, vstFourCC('Q', 'U', 'V', 'e'), "KELO Player (Multi)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.library);
    const ChildRun run = runInChild([&] {
      RecordingAudioMaster& host = m_host;
      const VstPluginMainProc main = entryOf(c.library);
      AEffect* e = main ? main(host.callback) : nullptr;
      if (!e) return std::string("null");
      char name[kVstMaxEffectNameLen] = {};
      dispatch(e, effGetEffectName, 0, 0, name);
      std::ostringstream out;
      out << std::hex << e->magic << std::dec << " flags:" << e->flags << " programs:"
          << e->numPrograms << " params:" << e->numParams << " in:" << e->numInputs
          << " out:" << e->numOutputs << " id:" << e->uniqueID << " version:" << e->version
          << " delay:" << e->initialDelay << " category:" << dispatch(e, effGetPlugCategory)
          << " name:" << name;
      dispatch(e, effClose);
      return out.str();
    });
    std::ostringstream expected;
    expected << std::hex << kEffectMagic << std::dec << " flags:"
             << (effFlagsHasEditor | effFlagsCanReplacing | effFlagsProgramChunks | effFlagsIsSynth)
             << " programs:0 params:0 in:0 out:" << c.outputs << " id:" << c.uniqueID
             << " version:1 delay:0 category:2 name:" << c.name;
    EXPECT_EQ(run.report, expected.str());
  }
}

struct ScanRun {
  std::string output;  // standard output, then "exit:" and the scanner's status
  std::string errors;
};

/// What a shell line writes on its standard output.
std::string shellOutput(const std::string& line) {
  std::string output;
  if (FILE* pipe = ::popen(line.c_str(), "r")) {
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    ::pclose(pipe);
  }
  return output;
}

/// The scanner run on one plug-in file, bounded in time.
ScanRun scan(const std::string& file) {
  TempDir scratch;
  const std::string errors = scratch.file("errors");
  ScanRun run;
  run.output = shellOutput("printf 'VST:%s\\n' '" + file + "' | " + KELO_SCAN_ENVIRONMENT +
                           " timeout 120 " + KELO_QTRACTOR_SCANNER + " 2>'" + errors +
                           "'; echo \"exit:$?\"");
  run.errors = readFile(errors);
  return run;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

TEST_F(RackBuildsTest, ARealHostsScannerRecognisesBothBuilds) {
  if (!std::filesystem::exists(KELO_QTRACTOR_SCANNER))
    GTEST_SKIP() << "qtractor's scanner is not installed (scripts/setup installs it)";
  struct Case {
    const char* file;
    const char* name;
    const char* audio;
    const char* id;
  };
  const Case cases[] = {
      {KELO_RACK_SO, "KELO Player", "0:2", "0x51555645"},
      {KELO_RACK_MULTI_SO, "KELO Player (Multi)", "0:32", "0x51555665"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const ScanRun run = scan(c.file);
    // The scanner never waits; the plug-in writes nothing on the output the host parses.
    const std::vector<std::string> lines = split(run.output, '\n');
    ASSERT_EQ(lines.size(), 2u) << run.output << run.errors;
    EXPECT_EQ(lines[1], "exit:0");
    // type|name|audio in:out|MIDI in:out|controls|flags|file|index|id
    const std::vector<std::string> fields = split(lines[0], '|');
    ASSERT_EQ(fields.size(), 9u) << run.output;
    EXPECT_EQ(fields[0], "VST");
    EXPECT_EQ(fields[1], c.name);
    EXPECT_EQ(fields[2], c.audio);
    EXPECT_EQ(fields[3].substr(0, 2), "1:");  // MIDI input
    EXPECT_TRUE(contains(fields[5], "GUI")) << fields[5];
    EXPECT_EQ(fields[6], c.file);
    EXPECT_EQ(fields[8], c.id);
  }

  PreferenceSandbox::clear();
  installEngine("", KELO_ENGINE_BUNDLE);
  const ScanRun run = scan(KELO_RACK_SO);
  EXPECT_TRUE(contains(run.output + run.errors, "plugin file error")) << run.output << run.errors;
  EXPECT_FALSE(contains(run.output, "VST|")) << run.output;
  EXPECT_TRUE(contains(run.output, "exit:0")) << run.output;
}

/// MusE's scanner run on one plug-in file as a Linux VST (type 16), bounded in time: the
/// description it writes, then "exit:" and its status.
std::string museScan(const std::string& file) {
  TempDir scratch;
  const std::string description = scratch.file("description.xml");
  writeFile(description, "");  // the scanner writes only into a file that exists
  const std::string status = shellOutput(
      std::string(KELO_SCAN_ENVIRONMENT) + " timeout 120 " + KELO_MUSE_SCANNER + " -t 16 -f '" +
      file + "' -o '" + description + "' >/dev/null 2>&1; echo \"exit:$?\"");
  return readFile(description) + status;
}

TEST_F(RackBuildsTest, MusEsScannerRecognisesBothBuilds) {
  if (!std::filesystem::exists(KELO_MUSE_SCANNER))
    GTEST_SKIP() << "MusE's scanner is not installed (scripts/setup installs it)";
  struct Case {
    const char* file;
    const char* name;
    const char* outputs;
    const char* id;
  };
  const Case cases[] = {
      {KELO_RACK_SO, "KELO Player", "2", "1364547141"},
      {KELO_RACK_MULTI_SO, "KELO Player (Multi)", "32", "1364547173"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string description = museScan(c.file);
    for (const std::string& element :
         {std::string("<plugin file=\"") + c.file + "\" label=\"" + c.name + "\">",
          std::string("<type>16</type>"), std::string("<name>") + c.name + "</name>",
          std::string("<outports>") + c.outputs + "</outports>",
          std::string("<uniqueID>") + c.id + "</uniqueID>", std::string("exit:0")})
      EXPECT_TRUE(contains(description, element)) << element << "\n" << description;
  }
}

TEST_F(RackBuildsTest, InstallScriptPlacesBothFilesWhereItSays) {
  struct Case {
    const char* lxvstPath;  // relative to the temporary home; null: unset
    const char* vstPath;
    const char* folder;
    const char* ardourPath;  // Ardour 7's Linux VST path before; null: no configuration yet
    const char* ardourPathAfter;  // the folder installed in follows it
  };
  const char* ardourDefaults =
      "/usr/local/lib64/lxvst:/usr/local/lib/lxvst:/usr/lib64/lxvst:/usr/lib/lxvst:"
      "/usr/local/lib64/linux_vst:/usr/local/lib/linux_vst:/usr/lib64/linux_vst:"
      "/usr/lib/linux_vst:/usr/lib/vst:/usr/local/lib/vst";
  const Case cases[] = {{nullptr, nullptr, ".vst", nullptr, ardourDefaults},
                        {nullptr, "plugins/vst:other", "plugins/vst", "@default@", ardourDefaults},
                        {"linux/vst:other", "plugins/vst", "linux/vst", "/opt/vst", "/opt/vst"}};
  for (const Case& c : cases) {
    TempDir home;
    const std::string ardourConfig = home.file("config/ardour7/config");
    if (c.ardourPath != nullptr) {
      std::filesystem::create_directories(home.file("config/ardour7"));
      ASSERT_TRUE(writeFile(ardourConfig,
                            std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Ardour>"
                                        "<Config><Option name=\"audio-engine\" value=\"JACK\"/>"
                                        "<Option name=\"plugin-path-lxvst\" value=\"") +
                                c.ardourPath + "\"/></Config></Ardour>\n"));
    }
    std::string line = "HOME='" + home.path() + "' XDG_DATA_HOME='" + home.file("share") +
                       "' XDG_CONFIG_HOME='" + home.file("config") + "' ";
    line += c.lxvstPath ? "LXVST_PATH='" + home.file(c.lxvstPath) + "' " : "LXVST_PATH= ";
    line += c.vstPath ? "VST_PATH='" + home.file(c.vstPath) + "' " : "VST_PATH= ";
    line += std::string(KELO_SOURCE_DIR) + "/scripts/install-vst '" + KELO_BUILD_DIR + "' 2>&1";
    std::string output;
    if (FILE* pipe = ::popen(line.c_str(), "r")) {
      char buffer[4096];
      std::size_t got = 0;
      while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
      EXPECT_EQ(::pclose(pipe), 0) << output;
    }
    const std::string folder = home.file(c.folder);
    EXPECT_TRUE(contains(output, "Installed KeloRack.so and KeloRack-Multi.so in " + folder))
        << output;
    // Ardour looks in no folder of the home unless its configuration names it.
    const std::string config = readFile(ardourConfig);
    EXPECT_TRUE(contains(config, std::string("value=\"") + c.ardourPathAfter + ":" + folder + "\""))
        << config;
    if (c.ardourPath != nullptr) {
      EXPECT_TRUE(contains(config, "name=\"audio-engine\" value=\"JACK\""));
    }
    for (const char* file : {"KeloRack.so", "KeloRack-Multi.so"})
      EXPECT_TRUE(std::filesystem::is_regular_file(folder + "/" + file)) << file;
    EXPECT_TRUE(std::filesystem::exists(home.file("share/vantor/KeloEngine.bundle")));
  }
}

}  // namespace
}  // namespace kelo::test
