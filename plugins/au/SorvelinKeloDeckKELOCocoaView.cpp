#include "plugins/au/SorvelinKeloDeckKELOCocoaView.h"

#include <cstdio>
#include <cstring>

#include "plugins/au/KeloUnitProperties.h"

namespace {

using kelo::au::kInstanceGoingProperty;
// This host places the view itself: opening the editor changes only its size.
constexpr const char* kOriginKeepingHost = "com.presonus.auhost";

template <typename Method>
Method unitMethod(AudioComponentPlugInInterface* unit, SInt16 selector) {
  return reinterpret_cast<Method>(unit->Lookup(selector));
}

OSStatus readProperty(AudioComponentPlugInInterface* unit, AudioUnitPropertyID id, void* data, UInt32 size) {
  const auto get = unitMethod<AudioUnitGetPropertyProc>(unit, kAudioUnitGetPropertySelect);
  return get != nullptr ? get(unit, id, kAudioUnitScope_Global, 0, data, &size) : kAudio_ParamError;
}

}  // namespace

SorvelinKeloDeckKELOCocoaView::SorvelinKeloDeckKELOCocoaView(const AUViewRect& frame) : AUView(frame) {}

SorvelinKeloDeckKELOCocoaView::~SorvelinKeloDeckKELOCocoaView() {
  try {
    removeEditor();
    stopListening();
  } catch (...) {
  }
}

void SorvelinKeloDeckKELOCocoaView::setViewPath(const char* path) {
  std::memset(_viewPath, 0, sizeof _viewPath);
  if (path != nullptr) std::snprintf(_viewPath, sizeof _viewPath, "%s", path);
}

void SorvelinKeloDeckKELOCocoaView::setHostName(const char* name) {
  std::memset(_hostname, 0, sizeof _hostname);
  if (name != nullptr) std::snprintf(_hostname, sizeof _hostname, "%s", name);
}

void SorvelinKeloDeckKELOCocoaView::createEditor() {
  _editor.create(_engine.entry(), _viewPath, _engine.instance(), true);
}

void SorvelinKeloDeckKELOCocoaView::removeEditor() {
  if (_editor.handle() != nullptr) _editor.close(_engine, _viewAdded, vantor::kIgnoreEngineResult);
  _viewAdded = false;
}

void SorvelinKeloDeckKELOCocoaView::viewWillMoveToWindow(const AUWindow* window) {
  try {
    if (!_engine.hasEngine()) return;  // the unit and its engine are gone
    if (window == nullptr) {
      if (_viewAdded) removeEditor();
      return;
    }
    if (_viewAdded) {
      removeEditor();
      createEditor();
    } else if (_editor.handle() == nullptr) {
      createEditor();
    }
    const double scale = window->answersBackingScaleFactor ? window->backingScaleFactor : 1.0;
    _editor.show(_engine, reinterpret_cast<void*>(window->x11Window), static_cast<float>(scale), scale != 1.0 ? 3 : 1,
                 vantor::kIgnoreEngineResult);
    void* editorView = nullptr;
    _editor.view(editorView);
    AUViewRect editorFrame{0.0, 0.0, 0.0, 0.0};
    if (!kelo::au::nativeViewFrame(reinterpret_cast<std::uintptr_t>(editorView), editorFrame))
      editorFrame = {0.0, 0.0, 0.0, 0.0};
    if (std::strcmp(_hostname, kOriginKeepingHost) == 0) {
      setFrameSize(editorFrame.width, editorFrame.height);
    } else {
      setFrame(editorFrame);
    }
    _viewAdded = true;
  } catch (...) {
  }
}

void SorvelinKeloDeckKELOCocoaView::listenToUnit(AudioComponentPlugInInterface* unit) {
  const auto add = unitMethod<AudioUnitAddPropertyListenerProc>(unit, kAudioUnitAddPropertyListenerSelect);
  if (add != nullptr && add(unit, kInstanceGoingProperty, &onUnitProperty, this) == noErr) m_unit = unit;
}

void SorvelinKeloDeckKELOCocoaView::stopListening() {
  if (m_unit == nullptr) return;
  const auto remove =
      unitMethod<AudioUnitRemovePropertyListenerWithUserDataProc>(m_unit, kAudioUnitRemovePropertyListenerWithUserDataSelect);
  if (remove != nullptr) remove(m_unit, kInstanceGoingProperty, &onUnitProperty, this);
  m_unit = nullptr;
}

void SorvelinKeloDeckKELOCocoaView::onUnitProperty(void* user, AudioComponentInstance, AudioUnitPropertyID id,
                                                   AudioUnitScope scope, AudioUnitElement) {
  if (id != kInstanceGoingProperty || scope != kAudioUnitScope_Global) return;
  auto* view = static_cast<SorvelinKeloDeckKELOCocoaView*>(user);
  try {
    view->removeEditor();
  } catch (...) {
  }
  // The unit takes its listeners with it.
  view->_engine.adopt(nullptr, nullptr);
  view->_editor.forget();
  view->m_unit = nullptr;
}

namespace kelo::au {
namespace {

UInt32 interfaceVersion() { return 0; }
const char* description() { return "KELO Player Cocoa View"; }

AUView* uiViewForAudioUnit(AudioComponentPlugInInterface* unit, double, double) {
  if (unit == nullptr) return nullptr;
  try {
    char path[SorvelinKeloDeckKELOCocoaView::kViewPathSize] = {};
    KeloOpcodeFunction entry = nullptr;
    void* instance = nullptr;
    char host[SorvelinKeloDeckKELOCocoaView::kHostNameSize] = {};
    readProperty(unit, kSetupPathProperty, path, sizeof path);
    readProperty(unit, kEntryPointProperty, &entry, sizeof entry);
    readProperty(unit, kInstanceProperty, &instance, sizeof instance);
    readProperty(unit, kHostNameProperty, host, sizeof host);
    path[sizeof path - 1] = '\0';
    host[sizeof host - 1] = '\0';
    if (entry == nullptr) return nullptr;  // no engine: nothing to show

    vantor::EngineEditorSession editor;
    editor.create(entry, path, instance, true);
    std::int32_t height = 0;
    std::int32_t width = 0;
    editor.size(height, width);
    auto* view = new SorvelinKeloDeckKELOCocoaView({0.0, 0.0, static_cast<double>(width), static_cast<double>(height)});
    view->setViewPath(path);
    view->setViewAdded(false);
    view->adoptEngine(entry, instance, editor.handle());
    view->setHostName(host);
    view->listenToUnit(unit);
    return view;
  } catch (...) {
    return nullptr;
  }
}

constexpr AUCocoaViewFactory kFactory{&interfaceVersion, &description, &uiViewForAudioUnit};

}  // namespace

const AUCocoaViewFactory* keloCocoaViewFactory() { return &kFactory; }

}  // namespace kelo::au
