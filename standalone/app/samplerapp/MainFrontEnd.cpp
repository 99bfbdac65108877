#include "standalone/app/samplerapp/MainFrontEnd.h"

#include <cstdint>

#include "standalone/app/toolkit/Application.h"
#include "standalone/app/toolkit/Panel.h"

namespace vantor::samplerapp {
namespace {

constexpr VNT::Point kWindowOrigin{50, 50};
constexpr VNT::Size kWindowSize{650, 350};

}  // namespace

MainFrontEnd::~MainFrontEnd() {
  if (m_window == nullptr) return;
  VNT::MainWindow* window = m_window;
  window->removeWindowListener(m_listenerId);
  m_window = nullptr;
  m_player = nullptr;
  m_recorder = nullptr;
  delete window;
}

void* MainFrontEnd::createMainWindow(const std::string& title) {
  if (m_window != nullptr) return reinterpret_cast<void*>(m_window->getContentX11Window());
  m_window = new VNT::MainWindow(kWindowOrigin, kWindowSize, VNT::WindowKind::Ordinary,
                                 VNT::kWindowMiniaturisable, title, "SA");
  m_listenerId = m_window->addWindowListener(this);
  m_content = new VNT::Panel(m_window, nullptr, {0, 0}, kWindowSize, 0, "SA");
  return reinterpret_cast<void*>(m_window->getContentX11Window());
}

void MainFrontEnd::setClientSizeAndCentre(int width, int height) {
  if (m_window == nullptr) return;
  m_clientSize = {static_cast<double>(width), static_cast<double>(height)};
  m_window->setClientSize(m_clientSize);
  m_window->centre();
}

void MainFrontEnd::addMediaBar(int y, int recorderX, const std::string& baseDir) {
  if (m_window == nullptr || m_player != nullptr) return;
  m_player = new MIDIFilePlayerGUI(m_window, {0, static_cast<double>(y)}, baseDir, false);
  m_recorder = new AudioFileRecorderGUI(
      m_window, {static_cast<double>(recorderX), static_cast<double>(y)}, baseDir, false);
  m_window->setMediaBarPanels(m_player, m_recorder);
  // An editor narrower than the bar would cut off the recorder's stop and eject buttons.
  const double barWidth = recorderX + m_recorder->getPanel()->getSize().width;
  if (m_clientSize.width < barWidth) {
    setClientSizeAndCentre(static_cast<int>(barWidth), static_cast<int>(m_clientSize.height));
  }
}

void MainFrontEnd::showMainWindow() {
  if (m_window != nullptr) m_window->show(true);
}

InstrumentFrontEnd::TimerId MainFrontEnd::addTimer(double firstSeconds, double intervalSeconds,
                                                   TimerCallback callback, void* user) {
  if (callback == nullptr) return kNoTimer;
  return VNT::addTimer(firstSeconds, intervalSeconds, [callback, user] { callback(user); });
}

void MainFrontEnd::removeTimer(TimerId id) {
  if (id != kNoTimer) VNT::removeTimer(id);
}

void MainFrontEnd::stopPlayer() {
  if (m_player != nullptr) m_player->stop();
}

void MainFrontEnd::seekPlayer() {
  if (m_player != nullptr) m_player->seek();
}

void MainFrontEnd::setPlayerSlider(int value) {
  if (m_player != nullptr) m_player->showPosition(value);
}

void MainFrontEnd::reloadPlayer() {
  if (m_player != nullptr) m_player->reload();
}

bool MainFrontEnd::isRecorderRecording() {
  return m_recorder != nullptr && m_recorder->isRecording();
}

void MainFrontEnd::stopRecorder() {
  if (m_recorder != nullptr) m_recorder->stop();
}

void MainFrontEnd::windowClosing(unsigned) {
  // The window has deleted its panels; its controls go with it.
  m_window = nullptr;
  m_content = nullptr;
  m_player = nullptr;
  m_recorder = nullptr;
}

}  // namespace vantor::samplerapp
