#pragma once
// Process-token helpers.

// Asks for the debug privilege on the process token; fails silently. The main window has always
// done this while it is made; a standard user's token holds no such privilege, so for the
// per-user install it changes nothing, and nothing in the client relies on it.
void EnableDebugPrivilege();
