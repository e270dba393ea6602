// What the line backends share: the event queue and the call records.
// Platform internal. Every function here may be called from any thread.
#pragma once
#include <cstdint>

#include "platform/modem-lines.h"

namespace kra::platform::lines {

// Appends an event; posts kMsgLineEvents when the queue was empty.
void QueueEvent(const LineCallEvent& event);
// Creates or updates a call's record.
void SetRecord(uint32_t call, uint32_t mediaMode);
// The call has ended: its record goes after the next take.
void MarkGone(uint32_t call);
// Forgets every event and record.
void ClearAll();

// The ModemManager backend.
uint32_t MmInitialize(uint32_t* deviceCount, uint32_t* apiVersion);
uint32_t MmOpen(uint32_t device, uint32_t* line);
void MmClose(uint32_t line);
void MmShutdown();
void MmStopWatch();

}  // namespace kra::platform::lines
