#include <memory>

#include "standalone/app/toolkit/Peers.h"
#include "standalone/app/toolkit/headless/HeadlessBackend.h"

namespace vantor::VNT {
namespace {

std::unique_ptr<Backend>& installed() {
  static std::unique_ptr<Backend> backend;
  return backend;
}

}  // namespace

Backend& backend() {
  if (!installed()) installed() = std::make_unique<headless::HeadlessBackend>();
  return *installed();
}

void setBackend(Backend* backend) { installed().reset(backend); }

bool hasInstalledBackend() { return installed() != nullptr; }

}  // namespace vantor::VNT
