#pragma once
// The browser engine's process-wide switches, set before the first web browser control is made.

// The first call sets them for the process; later calls do nothing.
void EnableBrowserFeatures();
