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

std::int32_t SorvelinKeloDeckKELOCocoaView::engine(void* handle, std::int32_t opcode, void* p1, void* p2, void* p3,
                                                   std::int32_t i1, float f, std::int32_t i2, std::int32_t i3) {
  return _proc != nullptr ? _proc(handle, opcode, p1, p2, p3, i1, f, i2, i3) : 1;
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
  engine(nullptr, KELO_OP_EDITOR_CREATE, _viewPath, &_viewTicket, _engineTicket, 0, 0.0f, 1);
}

void SorvelinKeloDeckKELOCocoaView::removeEditor() {
  if (_viewTicket != nullptr) {
    if (_viewAdded) engine(_engineTicket, KELO_OP_EDITOR_DETACH, _viewTicket);
    engine(_viewTicket, KELO_OP_EDITOR_DESTROY);
  }
  _viewAdded = false;
  _viewTicket = nullptr;
}

void SorvelinKeloDeckKELOCocoaView::viewWillMoveToWindow(const AUWindow* window) {
  try {
    if (_proc == nullptr) return;  // the unit and its engine are gone
    if (window == nullptr) {
      if (_viewAdded) removeEditor();
      return;
    }
    if (_viewAdded) {
      removeEditor();
      createEditor();
    } else if (_viewTicket == nullptr) {
      createEditor();
    }
    const double scale = window->answersBackingScaleFactor ? window->backingScaleFactor : 1.0;
    engine(_viewTicket, KELO_OP_EDITOR_OPEN, reinterpret_cast<void*>(window->x11Window), nullptr, nullptr, 1,
           static_cast<float>(scale), 0, scale != 1.0 ? 3 : 1);
    engine(_engineTicket, KELO_OP_EDITOR_ATTACH, _viewTicket);
    void* editorView = nullptr;
    engine(_viewTicket, KELO_OP_EDITOR_VIEW_GET, &editorView);
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
  view->_engineTicket = nullptr;
  view->_proc = nullptr;
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

    void* editor = nullptr;
    entry(nullptr, KELO_OP_EDITOR_CREATE, path, &editor, instance, 0, 0.0f, 1, 0);
    std::int32_t height = 0;
    std::int32_t width = 0;
    entry(editor, KELO_OP_EDITOR_SIZE_GET, &height, &width, nullptr, 0, 0.0f, 0, 0);
    auto* view = new SorvelinKeloDeckKELOCocoaView({0.0, 0.0, static_cast<double>(width), static_cast<double>(height)});
    view->setViewPath(path);
    view->setViewAdded(false);
    view->setViewTicket(editor);
    view->setEngineTicket(instance);
    view->setEngineProc(entry);
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
