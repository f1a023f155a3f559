// Networking internals shared by the slot table, the HTTP client and the session: slot access and shutdown.
#pragma once

#include <cstdint>
#include <string>

#include "net/internal/wire.h"

// ---------------------------------------------------------------- slot table

// Connect timeouts below 1 ms or above 30 s wait 30 s.
constexpr int kLongestConnectWait = 30000;
int EffectiveConnectTimeout(int timeoutMs);
// The system handle of an open slot, -1 for a free or invalid one.
int SlotHandle(int32_t slot);
// Records a Winsock error number as the last error.
void SetNetLastError(int32_t code);
// Records why an HTTP request failed (a status or a kHttp... cause of net.h) as the last error;
// NetLastErrorText then gives the cause's text.
void SetNetLastCause(int32_t code);
// The words of a session cause (kSession... of net.h); empty for any other number.
std::string SessionCauseText(int32_t code);
// Closes every slot and forgets every start (process shutdown).
void NetShutdown();
// Counts of open slots (for tests that check nothing leaks).
int OpenSlotCount();
