#include "standalone/host/Module.h"

namespace vantor {

bool Module::init(const Context* context, const DSPInfo* dspInfo) {
  setContext(context);
  m_dspInfo = dspInfo;
  initialize();
  return true;
}

}  // namespace vantor
