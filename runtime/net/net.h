// Networking: sockets, HTTP and the multiplayer session. The start-up and
// shutdown entry points the host calls; this program uses no network yet.
#pragma once

// Creates the session object (start-up, before the 3D engine).
void CreateSessionObject();
// Ends a running session and closes the sockets (shutdown).
void EndSessionAndNetwork();
