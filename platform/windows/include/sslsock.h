// The device's secure-socket header, which desktop Windows does not have: the same names and
// values as on the device. Desktop Winsock refuses SO_SECURE, so an https connection there
// fails as unsupported before it is attempted.
#pragma once

#include "../../include/sslsock.h"
