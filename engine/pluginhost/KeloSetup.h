// "KeloSetup.xml" in the engine's data folder: which engine plug-ins the reference engine
// loads, in the order they run. The format is this project's own:
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <KeloSetup version="1">
//     <Plugin bundle="Plugins/RoomFold.bundle" identifier="com.Sorvelin.Kelo.Convolver.Room"
//             init="..." extra="..." initOpcode="19" customData="Impulses/hall.wav"/>
//   </KeloSetup>
//
// `bundle` and `identifier` are required; a relative `bundle` or `customData` path is taken
// from the data folder. `init` and `extra` are the two init texts (empty when left out), in
// which every "{DataFolder}" stands for the data folder's path (a plug-in such as the sustain
// resonance takes a folder there); `initOpcode` 19 (the default) or 0 says how they are given. Elements other than Plugin are
// ignored. Comments, the XML declaration and the five named and numeric character references
// are understood; no DTD is read; a zero byte refuses the file. Any thread; no state.
#pragma once

#include <string>
#include <vector>

namespace kelo::pluginhost {

struct SetupPlugin {
  std::string bundle;  // as written; see resolvePath
  std::string identifier;
  std::string initText;
  std::string extraText;
  bool initThroughRecord = true;
  std::string customDataFile;  // as written; empty for none
};

/// Parses the text of a setup file; false with `error` (and the line) set when it is not one.
bool parseKeloSetup(const std::string& text, std::vector<SetupPlugin>& plugins,
                    std::string& error);

/// Reads and parses `path`.
bool readKeloSetup(const std::string& path, std::vector<SetupPlugin>& plugins,
                   std::string& error);

/// `path` itself when absolute or empty, else `folder` + "/" + `path`.
std::string resolvePath(const std::string& folder, const std::string& path);

/// `text` with every "{DataFolder}" replaced by `folder`.
std::string withDataFolder(const std::string& text, const std::string& folder);

}  // namespace kelo::pluginhost
