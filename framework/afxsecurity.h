#pragma once
// Process-token helpers shared by the application and its main window.

// Asks for the debug privilege on the process token; fails silently.
void EnableDebugPrivilege();
