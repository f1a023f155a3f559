// The network's side for the host: the session object's creation at
// start-up, and the shutdown of the session and of every socket. Programs
// use the operations of net/net.h.
#pragma once

// Creates the session object (start-up, before the 3D engine).
void CreateSessionObject();
// Ends a running session, releases the session object and closes every socket (shutdown).
void EndSessionAndNetwork();
