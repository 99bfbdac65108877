// KeloUnit's editor view and its factory. The view never sees the SamplerAU object: the
// factory reads the engine entry point, setup-file path, engine instance and host name from
// the unit's vendor properties (64000, 64001, 64002, 64004), and the view drives the engine's
// editor through the entry point. The editor belongs to the view, the instance to the unit.
// The view listens for the unit's 64003 announcement (the instance is going) and lets go of
// the editor and the engine then, so a view that outlives its unit never calls into it.
//
// Threads: the host's main thread only.
#pragma once

#include <cstddef>

#include "platform/audiounit/AUView.h"
#include "standalone/engine_interface/EngineSession.h"

class SorvelinKeloDeckKELOCocoaView : public AUView {
 public:
  static constexpr std::size_t kViewPathSize = 1024;
  static constexpr std::size_t kHostNameSize = 256;

  explicit SorvelinKeloDeckKELOCocoaView(const AUViewRect& frame);
  /// Destroys any editor it holds (detached first when open) and stops listening to the unit.
  ~SorvelinKeloDeckKELOCocoaView() override;

  void viewWillMoveToWindow(const AUWindow* window) override;

  /// The engine's entry point, the unit's instance and the editor the factory made for it.
  void adoptEngine(KeloOpcodeFunction proc, void* instance, void* editor) {
    _engine.adopt(proc, instance);
    _editor.adopt(proc, editor);
  }
  void setViewAdded(bool added) { _viewAdded = added; }
  /// Clears the field and copies at most 1023 bytes.
  void setViewPath(const char* path);
  /// Clears the field and copies at most 255 bytes; null leaves it empty.
  void setHostName(const char* name);
  /// Listens for `unit`'s 64003 announcement until it comes or the view goes.
  void listenToUnit(AudioComponentPlugInInterface* unit);

  void* viewTicket() const { return _editor.handle(); }
  void* engineTicket() const { return _engine.instance(); }
  KeloOpcodeFunction engineProc() const { return _engine.entry(); }
  bool viewAdded() const { return _viewAdded; }
  const char* viewPath() const { return _viewPath; }
  const char* hostName() const { return _hostname; }

 private:
  static void onUnitProperty(void* view, AudioComponentInstance, AudioUnitPropertyID id, AudioUnitScope scope,
                             AudioUnitElement element);
  void createEditor();
  /// Detached when open, then destroyed; not added, no editor afterwards.
  void removeEditor();
  void stopListening();

  vantor::EngineSession _engine;        // the unit's instance, not the view's
  vantor::EngineEditorSession _editor;  // the view's editor
  bool _viewAdded = false;
  char _viewPath[kViewPathSize] = {};
  char _hostname[kHostNameSize] = {};
  AudioComponentPlugInInterface* m_unit = nullptr;
};

namespace kelo::au {

/// The view factory record of KeloUnit (description "KELO Player Cocoa View"). A unit
/// without an engine gets no view.
const AUCocoaViewFactory* keloCocoaViewFactory();

}  // namespace kelo::au
