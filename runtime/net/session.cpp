// The network's part in start-up and shutdown. This program uses no network;
// the calls stay empty until the network subsystem is built.
#include "net/net.h"

void CreateSessionObject() {}
void EndSessionAndNetwork() {}
