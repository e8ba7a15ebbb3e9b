// Why a link did not open, kept per thread for the open call that asks for it afterwards
// (KOVRA_GetLinkFailure). Each transport says why at the step that failed.
#pragma once

namespace kovra {

// Records `reason` (a KOVRA_LINK_* code) as this thread's last link failure.
void SetLinkFailure(int reason);
// This thread's last link failure; KOVRA_LINK_OK when none was recorded.
int LinkFailure();
// The KOVRA_LINK_* code for the errno of a failed open of a device node.
int LinkFailureForErrno(int error);

}  // namespace kovra
