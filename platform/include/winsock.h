// Winsock 1.1 over BSD sockets (filled in by platform/winsock).
#pragma once

#include "windows.h"
