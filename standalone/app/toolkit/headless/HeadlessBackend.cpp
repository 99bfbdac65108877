#include "standalone/app/toolkit/headless/HeadlessBackend.h"

#include <algorithm>
#include <cmath>

#include "standalone/app/toolkit/FileSelector.h"
#include "standalone/app/toolkit/NativeControl.h"
#include "standalone/app/toolkit/PointerInput.h"
#include "standalone/app/toolkit/Window.h"

namespace vantor::VNT::headless {

HeadlessView::HeadlessView(HeadlessBackend& backend, const Rect& frame, const ViewSetup& setup)
    : m_backend(backend), m_setup(setup), m_frame(frame), m_text(setup.label) {
  m_state = setup.kind == ViewKind::Checkbox && setup.toggle;
  m_value = setup.value;
  m_items = setup.items;
  m_backend.m_live.insert(this);
}

HeadlessView::~HeadlessView() {
  m_backend.m_live.erase(this);
  if (m_owner != nullptr) {
    ViewOwner* owner = m_owner;
    m_owner = nullptr;
    owner->peerEnded();
  }
  m_children.clear();
}

void HeadlessView::setAutoResize(unsigned mask, bool resizesSubviews) {
  m_autoResizeMask = mask;
  m_resizesSubviews = resizesSubviews;
}

void HeadlessView::setFrame(const Rect& frame) {
  const bool changed = !(frame == m_frame);
  m_frame = frame;
  if (changed && m_owner != nullptr) m_owner->peerFrameChanged();
}

void HeadlessView::sizeToFit() {
  // A stand-in for the text's extent: 7 units a byte plus margins, 20 high.
  setFrame({m_frame.x, m_frame.y, 7.0 * static_cast<double>(m_text.size()) + 12.0, 20.0});
}

void HeadlessView::addSubview(ViewPeer& child) {
  std::unique_ptr<HeadlessView> view = m_backend.takeUnplaced(static_cast<HeadlessView*>(&child));
  if (view) m_children.push_back(std::move(view));
}

void HeadlessView::setIntValue(int value) {
  if (m_setup.kind == ViewKind::Slider)
    value = std::clamp(value, std::min(m_setup.min, m_setup.max), std::max(m_setup.min, m_setup.max));
  m_value = value;
}

void HeadlessView::click() {
  if (!m_enabled) return;
  if (m_setup.kind == ViewKind::Checkbox || m_setup.toggle) m_state = !m_state;
  if (m_owner != nullptr) m_owner->peerAction();
}

void HeadlessView::moveTo(int value) {
  if (!m_enabled) return;
  setIntValue(value);
  if (m_owner != nullptr) m_owner->peerAction();
}

void HeadlessView::scroll(double deltaY) {
  if (m_enabled && m_owner != nullptr) m_owner->peerScrolled(deltaY);
}

void HeadlessView::insertItem(int index, const std::string& utf8) {
  index = std::clamp(index, 0, static_cast<int>(m_items.size()));
  m_items.insert(m_items.begin() + index, utf8);
  if (m_selected >= index) ++m_selected;
}

void HeadlessView::setItemText(int index, const std::string& utf8) {
  if (index >= 0 && index < static_cast<int>(m_items.size())) m_items[index] = utf8;
}

void HeadlessView::removeItem(int index) {
  if (index < 0 || index >= static_cast<int>(m_items.size())) return;
  m_items.erase(m_items.begin() + index);
  if (m_selected == index)
    m_selected = -1;
  else if (m_selected > index)
    --m_selected;
}

void HeadlessView::removeAllItems() {
  m_items.clear();
  m_selected = -1;
}

void HeadlessView::selectItem(int index) {
  if (index >= -1 && index < static_cast<int>(m_items.size())) m_selected = index;
}

std::vector<HeadlessView::Row> HeadlessView::shownRows() const {
  return m_setup.checkboxColumn ? m_rows : std::vector<Row>{};
}

void HeadlessView::choose(int index) {
  if (!m_enabled || index < 0 || index >= static_cast<int>(m_items.size())) return;
  m_selected = index;
  if (m_owner != nullptr) m_owner->peerAction();
}

void HeadlessView::toggleRow(unsigned row) {
  if (!m_enabled || !m_setup.checkboxColumn || row >= m_rows.size()) return;
  m_rows[row].state = !m_rows[row].state;
  if (m_owner != nullptr) m_owner->peerRowToggled(row, m_rows[row].state);
}

void HeadlessView::mouse(int kind, const Point& where, unsigned button, unsigned state) {
  if (m_owner == nullptr) return;
  Event event{kind, where};
  m_owner->peerMouse(kind, where, button, toolkitModifiers(state), &event);
}

void HeadlessView::press(const Point& where, unsigned x11Button, unsigned state) {
  mouse(0, where, toolkitButton(x11Button), state);
}

void HeadlessView::release(const Point& where, unsigned x11Button, unsigned state) {
  mouse(1, where, toolkitButton(x11Button), state);
}

void HeadlessView::move(const Point& where, unsigned state) {
  const int button = pressedButton(state);
  if (button < 0)
    mouse(2, where, 0, state);
  else
    mouse(3, where, static_cast<unsigned>(button), state);
}

void HeadlessView::typeAndEnter(const std::string& utf8) {
  m_text = utf8;
  if (m_owner != nullptr) m_owner->peerEditingEnded();
}

HeadlessMenu::~HeadlessMenu() = default;

void HeadlessMenu::appendItem(const std::string& utf8Title, unsigned tag) {
  m_items.push_back({utf8Title, tag, false});
}

void HeadlessMenu::appendSeparator() { m_items.push_back({"", 0, true}); }

void HeadlessMenu::popUp(ViewPeer& view, void* event) {
  m_backend.m_popups.push_back({&view, event});
  if (m_backend.m_menuChoices.empty()) return;
  const int choice = m_backend.m_menuChoices.front();
  m_backend.m_menuChoices.pop_front();
  if (choice < 0 || choice >= static_cast<int>(m_items.size()) || m_items[choice].separator) return;
  if (m_owner != nullptr) m_owner->peerItemChosen(m_items[choice].tag, m_items[choice].title.c_str());
}

void HeadlessMenu::end() {
  if (m_owner != nullptr) {
    MenuOwner* owner = m_owner;
    m_owner = nullptr;
    owner->peerEnded();
  }
  delete this;
}

cairo_surface_t* HeadlessView::render() {
  const int width = static_cast<int>(std::lround(m_frame.width));
  const int height = static_cast<int>(std::lround(m_frame.height));
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(width, 1), std::max(height, 1));
  cairo_t* cr = cairo_create(surface);
  if (m_owner != nullptr) m_owner->peerDraw(cr, {m_frame.width, m_frame.height});
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  return surface;
}

HeadlessWindow::HeadlessWindow(HeadlessBackend& backend, WindowKind kind, long style,
                               const Rect& content, const std::string& title)
    : m_backend(backend),
      m_kind(kind),
      m_style(style),
      m_title(title),
      m_contentRect(content),
      m_content(std::make_unique<HeadlessView>(backend, Rect{0, 0, content.width, content.height},
                                               ViewSetup{})) {}

HeadlessWindow::~HeadlessWindow() {
  if (m_backend.m_key == this) m_backend.m_key = nullptr;
}

void HeadlessWindow::setContentView(ViewPeer& view) {
  std::unique_ptr<HeadlessView> placed = m_backend.takeUnplaced(static_cast<HeadlessView*>(&view));
  if (!placed) return;
  placed->setFrame({0, 0, m_contentRect.width, m_contentRect.height});
  m_content = std::move(placed);
}

void HeadlessWindow::hide() {
  m_visible = false;
  if (m_backend.m_key == this) m_backend.m_key = nullptr;
}

bool HeadlessWindow::isKey() { return m_backend.m_key == this; }

void HeadlessWindow::makeKey() {
  if (m_visible && !m_closed) m_backend.m_key = this;
}

void HeadlessWindow::close() {
  if (m_closed) return;
  m_closed = true;
  hide();
  if (m_owner != nullptr) {
    WindowOwner* owner = m_owner;
    m_owner = nullptr;
    owner->peerWillClose();
  }
  m_content.reset();
}

unsigned HeadlessWindow::runModal() {
  m_modal = true;
  m_stopModal = false;
  const double limit = m_backend.now() + m_backend.m_modalTimeLimit;
  while (!m_stopModal) {
    if (!m_backend.runOnce(limit)) {
      m_modal = false;
      return kModalAbandoned;
    }
  }
  m_modal = false;
  return m_modalCode;
}

void HeadlessWindow::stopModal(unsigned code) {
  if (!m_modal) return;
  m_modalCode = code;
  m_stopModal = true;
}

void HeadlessWindow::setContentSize(const Size& size) {
  m_contentRect.width = size.width;
  m_contentRect.height = size.height;
  if (m_content) m_content->setFrame({0, 0, size.width, size.height});
}

void HeadlessWindow::centre() {
  // The virtual screen is 1280 x 800, as the display tests' server.
  m_contentRect.x = std::floor((1280 - m_contentRect.width) / 2);
  m_contentRect.y = std::floor((800 - m_contentRect.height) / 2);
}

void HeadlessWindow::setFramePosition(const Point& topLeft) {
  m_contentRect.x = topLeft.x;
  m_contentRect.y = topLeft.y;
}

void HeadlessWindow::setFrameRect(const Rect& frame) {
  m_contentRect = frame;
  if (m_content) m_content->setFrame({0, 0, frame.width, frame.height});
}

Rect HeadlessWindow::frameRect() { return m_closed ? Rect{} : m_contentRect; }

void HeadlessWindow::setMenuBar(const MenuBarModel& menus, MenuActionHandler onAction) {
  m_menus = menus;
  m_onAction = std::move(onAction);
}

void HeadlessWindow::requestClose() {
  if (m_closed) return;
  if (m_owner == nullptr || m_owner->peerCloseRequested()) close();
}

bool HeadlessWindow::pressAccelerator(const std::string& key) {
  for (const MenuModel& menu : m_menus)
    for (const MenuItemModel& item : menu.items)
      if (!item.key.empty() && item.key == key) {
        if (m_onAction) m_onAction(item.action);
        return true;
      }
  return false;
}

HeadlessBackend& HeadlessBackend::install() {
  auto* backend = new HeadlessBackend();
  setBackend(backend);
  return *backend;
}

HeadlessBackend* HeadlessBackend::installed() { return dynamic_cast<HeadlessBackend*>(&backend()); }

HeadlessBackend::HeadlessBackend() = default;

HeadlessBackend::~HeadlessBackend() {
  // Windows first (their views end their controls), then whatever was never placed.
  for (auto& window : m_windows) window->close();
  m_windows.clear();
  m_unplaced.clear();
}

WindowPeer* HeadlessBackend::createWindow(WindowKind kind, long style, const Rect& content,
                                          const std::string& title) {
  m_windows.push_back(std::make_unique<HeadlessWindow>(*this, kind, style, content, title));
  return m_windows.back().get();
}

ViewPeer* HeadlessBackend::createView(void* parent, const Rect& frame, const ViewSetup& setup) {
  auto view = std::make_unique<HeadlessView>(*this, frame, setup);
  HeadlessView* raw = view.get();
  auto* parentView = static_cast<HeadlessView*>(parent);
  if (parentView != nullptr && m_live.count(parentView) != 0)
    parentView->m_children.push_back(std::move(view));
  else
    m_unplaced.push_back(std::move(view));
  return raw;
}

ViewPeer* HeadlessBackend::peerOf(void* handle) {
  auto* view = static_cast<HeadlessView*>(handle);
  return m_live.count(view) != 0 ? view : nullptr;
}

std::unique_ptr<HeadlessView> HeadlessBackend::takeUnplaced(HeadlessView* view) {
  for (auto it = m_unplaced.begin(); it != m_unplaced.end(); ++it) {
    if (it->get() == view) {
      std::unique_ptr<HeadlessView> taken = std::move(*it);
      m_unplaced.erase(it);
      return taken;
    }
  }
  return nullptr;
}

void HeadlessBackend::runMainLoop() {
  m_quit = false;
  while (!m_quit && !m_steps.empty()) runOnce(m_now);
}

TimerId HeadlessBackend::addTimer(double firstSeconds, double intervalSeconds,
                                  std::function<void()> callback) {
  const TimerId id = m_nextTimer++;
  m_timers[id] = {m_now + std::max(firstSeconds, 0.0), std::max(intervalSeconds, 0.001),
                  std::move(callback)};
  return id;
}

void HeadlessBackend::removeTimer(TimerId id) { m_timers.erase(id); }

bool HeadlessBackend::runOnce(double limit) {
  if (!m_steps.empty()) {
    std::function<void()> step = std::move(m_steps.front());
    m_steps.pop_front();
    step();
    return true;
  }
  auto next = m_timers.end();
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it)
    if (next == m_timers.end() || it->second.due < next->second.due) next = it;
  if (next == m_timers.end() || next->second.due > limit) return false;
  advanceClock(next->second.due - m_now);
  return true;
}

void HeadlessBackend::advanceClock(double seconds) {
  const double end = m_now + std::max(seconds, 0.0);
  for (;;) {
    auto next = m_timers.end();
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it)
      if (it->second.due <= end && (next == m_timers.end() || it->second.due < next->second.due))
        next = it;
    if (next == m_timers.end()) break;
    const TimerId id = next->first;
    m_now = next->second.due;
    next->second.due += next->second.interval;
    // Copied: the callback may remove its own timer.
    std::function<void()> callback = next->second.callback;
    callback();
    (void)id;
  }
  m_now = end;
}

int HeadlessBackend::askFiles(const FileQuestion& question, std::vector<std::string>& paths) {
  m_fileQuestions.push_back(question);
  // A save whose file the user does not replace stays asked: the next answer is the next try.
  while (!m_fileAnswers.empty()) {
    auto answer = std::move(m_fileAnswers.front());
    m_fileAnswers.pop_front();
    m_asking = true;
    m_fileCancelled = false;
    paths.clear();
    const int result = answer(question, paths);
    m_asking = false;
    if (m_fileCancelled || result != 1) break;
    if (question.style != 1 || paths.empty()) return result;
    const std::string written = confirmedSavePath(question, paths.front());
    if (!written.empty()) {
      paths = {written};
      return 1;
    }
  }
  paths.clear();
  return 0;
}

void HeadlessBackend::cancelFileQuestion() {
  if (m_asking) m_fileCancelled = true;
}

void HeadlessBackend::queueFileAnswer(std::vector<std::string> paths) {
  m_fileAnswers.push_back([paths](const FileQuestion&, std::vector<std::string>& out) {
    out = paths;
    return 1;
  });
}

void HeadlessBackend::queueFileAnswer(
    std::function<int(const FileQuestion&, std::vector<std::string>&)> answer) {
  m_fileAnswers.push_back(std::move(answer));
}

HeadlessView& HeadlessBackend::viewOf(NativeControl& control) {
  return *static_cast<HeadlessView*>(control.peer());
}

HeadlessWindow& HeadlessBackend::windowOf(Window& window) {
  return *static_cast<HeadlessWindow*>(window.peer());
}

}  // namespace vantor::VNT::headless
