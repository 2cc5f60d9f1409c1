// A server asked for the rest of a file may answer with the whole resource instead. The start
// step (resuming an existing file) and the receive thread (a try after a network failure)
// recognise it and start the file over with it alike.
#pragma once

#include <windows.h>

// After a Seek or Reopen that did not continue: true when the server sent the whole resource
// instead of the rest, and the client stays open on it from its start.
bool ServerSentWholeBody();

// Empties the file at target and opens it again for the body the client holds from its
// start: nothing received, the total is the client's size. false when the file can't be made
// empty and opened again (a storage failure).
bool StartFileOver(LPCWSTR target);
