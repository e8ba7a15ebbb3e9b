// Why a link did not open, kept per thread for the open call that asks for it afterwards
// (KOVRA_GetLinkFailure).
#include "transport/link_failure.h"

#include <cerrno>

#include "kovra.h"

namespace kovra {
namespace {

thread_local int t_link_failure = KOVRA_LINK_OK;

}  // namespace

void SetLinkFailure(int reason) {
  t_link_failure = reason;
}

int LinkFailure() {
  return t_link_failure;
}

int LinkFailureForErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return KOVRA_LINK_NO_DEVICE;
    case EACCES:
    case EPERM:
      return KOVRA_LINK_NO_PERMISSION;
    case EBUSY:
    case EWOULDBLOCK:
      return KOVRA_LINK_BUSY;
    case ENOTTY:
    case EISDIR:
      return KOVRA_LINK_NOT_A_TERMINAL;
    default:
      return KOVRA_LINK_OTHER;
  }
}

}  // namespace kovra
