#include "standalone/app/toolkit/Window.h"

#include "standalone/app/toolkit/Application.h"
#include "standalone/app/toolkit/Controls.h"

namespace vantor::VNT {
namespace {
MainWindow* g_mainWindow = nullptr;
}  // namespace

Window::Window(const Point& origin, const Size& size, WindowKind kind, long style,
               const std::string& title, const std::string& name)
    : m_name(name),
      m_peer(backend().createWindow(kind, style, {origin.x, origin.y, size.width, size.height},
                                    title)),
      m_kind(kind),
      m_style(style) {
  m_peer->setOwner(this);
}

Window::~Window() {
  if (this == g_mainWindow) g_mainWindow = nullptr;
  closing();
  m_peer->setOwner(nullptr);
  if (m_nativeOpen) {
    m_nativeOpen = false;
    m_peer->close();
  }
}

void Window::show(bool visible) {
  if (visible) {
    m_peer->show();
    m_peer->makeKey();
  } else {
    m_peer->hide();
  }
}

void Window::close() {
  if (m_modalDepth > 0) {
    endModal(0);
    return;
  }
  m_peer->close();
}

unsigned Window::showModal() {
  m_peer->show();
  m_peer->makeKey();
  ++m_modalDepth;
  const unsigned code = m_peer->runModal();
  --m_modalDepth;
  close();
  return code;
}

void Window::endModal(unsigned code) { m_peer->stopModal(code); }

void Window::setFocus() {
  if (!m_peer->isKey()) {
    m_peer->show();
    m_peer->makeKey();
  }
}

bool Window::isShown() { return m_peer->isVisible(); }

void* Window::getHandle() { return m_peer->handle(); }

void Window::setBackgroundColour(const RGBAColour& colour) {
  m_backgroundColour = colour;
  m_hasBackgroundColour = true;
  m_peer->setBackground(colour);
}

void* Window::getControlForEmbedding() { return m_peer->contentView().handle(); }

std::uintptr_t Window::getContentX11Window() { return m_peer->contentView().x11WindowId(); }

void Window::setMenuBar(const MenuBarModel& menus, MenuActionHandler onAction) {
  m_peer->setMenuBar(menus, std::move(onAction));
}

void Window::closing() {
  const unsigned id = m_id;
  m_listeners.tellEach([&](WindowListener* l) { l->windowClosing(id); });
}

void Window::setClientSize(const Size& size) { m_peer->setContentSize(size); }

void Window::centre() { m_peer->centre(); }

void Window::setPosition(const Point& topLeft) { m_peer->setFramePosition(topLeft); }

void Window::setRect(const Rect& frame) { m_peer->setFrameRect(frame); }

void Window::setTitle(const std::string& utf8) { m_peer->setTitle(utf8); }

void Window::getPosition(Point& topLeft) {
  const Rect frame = m_peer->frameRect();
  topLeft = {frame.x, frame.y};
}

void Window::getSize(Size& size) {
  const Rect frame = m_peer->frameRect();
  size = {frame.width, frame.height};
}

void Window::getRect(Rect& frame) { frame = m_peer->frameRect(); }

void Window::createStatusBar(unsigned n) {
  if (n == 0) return;
  const Rect content = m_peer->contentView().frame();
  const double width = content.width / n;
  for (unsigned i = 0; i < n; ++i) {
    m_statusCells.push_back(new NativeStaticText(this, getControlForEmbedding(),
                                                 {i * width, content.height - 20},
                                                 {width, 20}, "", "", kNoId));
  }
}

void Window::setStatusBarItem(unsigned index, const std::string& utf8) {
  if (index < m_statusCells.size()) m_statusCells[index]->setLabel(utf8);
}

void Window::setStatusBarItems(const std::vector<std::string>& texts) {
  for (std::size_t i = 0; i < texts.size() && i < m_statusCells.size(); ++i)
    m_statusCells[i]->setLabel(texts[i]);
}

unsigned Window::addWindowListener(WindowListener* listener) { return m_listeners.add(listener); }

bool Window::removeWindowListener(unsigned registrationId) {
  return m_listeners.remove(registrationId);
}

bool Window::canClose() {
  bool result = true;
  const unsigned id = m_id;
  m_listeners.tellEach([&](WindowListener* l) {
    if (result) result = l->windowCanClose(id);
  });
  return result;
}

void Window::addChildControl(unsigned id, NativeControl* control) {
  m_controls.emplace(id, control);
}

bool Window::peerCloseRequested() {
  if (m_quitsOnClose) {
    quitApplication();
    return false;
  }
  if ((m_style & kWindowClosable) == 0) return false;
  if (m_modalDepth > 0) {
    // Never deleted under its own modal loop: the run ends and `showModal` closes it. A refused
    // close leaves a modal window on screen, since hidden it could never be answered.
    if (canClose()) endModal(0);
    return false;
  }
  if (canClose()) return true;
  m_peer->hide();
  return false;
}

void Window::peerWillClose() {
  m_nativeOpen = false;
  delete this;
}

MainWindow::MainWindow(const Point& origin, const Size& size, WindowKind kind, long style,
                       const std::string& title, const std::string& name)
    : Window(origin, size, kind, style, title, name) {
  setQuitsOnClose(true);
  g_mainWindow = this;
}

MainWindow::~MainWindow() { deleteMediaBarPanels(); }

void MainWindow::setMediaBarPanels(VNTButtonListener* player, VNTButtonListener* recorder) {
  deleteMediaBarPanels();
  m_player = player;
  m_recorder = recorder;
}

void MainWindow::deleteMediaBarPanels() {
  delete m_recorder;
  m_recorder = nullptr;
  delete m_player;
  m_player = nullptr;
}
MainWindow* MainWindow::current() { return g_mainWindow; }

}  // namespace vantor::VNT
