// One-slot mailboxes through which any thread hands a user message or a script event to the
// viewer's update loop, and the two switches that decide how failures reach the user.
// Writers and the reader meet under one lock, so a reader never sees a half-replaced text;
// a second message before the loop has taken the first replaces it (the last writer wins).
#pragma once

class CTexto;

// Script event raised instead of a missing-file message while error events are on.
constexpr const char* kEventFileNotFound = "filenotfound";

// Stores the text as the pending message and raises its flag; answers 1.
int SetPendingMessage(const char* text);
// Stores a script event (name and value) to be raised by the update loop.
void SetPendingEvent(const char* name, const char* value);
// While user messages are on: line lineIndex + 1 of the current language table, "\n" and the
// detail become the pending message. Otherwise nothing.
void ReportLocalizedError(int lineIndex, const char* detail);

// The update loop's side: copy out and clear. False (outputs unchanged) when nothing waits.
bool TakePendingMessage(CTexto* text);
bool TakePendingEvent(CTexto* name, CTexto* value);
bool HasPendingMessage();
bool HasPendingEvent();

// User messages (default on): failures are reported to the user at all.
void SetUserMessagesEnabled(bool enabled);
bool AreUserMessagesEnabled();
// Error-event mode (default 0, set by the tour's ERROREVENTS=): non-zero turns missing-file
// reports into the script event kEventFileNotFound.
void SetErrorEventMode(int mode);
int GetErrorEventMode();
