// Declared functions of other libraries. The start-up and shutdown entry
// points the host calls; this program declares none yet.
#pragma once

// Resolves the declared functions (start-up, after the mouse is set up).
void LoadDeclaredFunctions();
void FreeDeclaredFunctions();
