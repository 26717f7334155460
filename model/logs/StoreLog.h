#pragma once

#include "model/logs/LoadedLog.h"

class AppModel;

// Copies the live store's samples into log for display and analysis: values unwrapped and converted
// with the connected controller's encoder width, the time base from the log rate setting, the markers
// of the changes sent while logging, format Live.
// Reuses log's buffers, so that a window refreshing its analysis while logging does not allocate each
// time. Called on the UI thread (the store's); the log can then go to a worker.
void copyStoreToLog(const AppModel& model, LoadedLog& log);
