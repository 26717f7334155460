#pragma once

#include "model/logs/LineSource.h"
#include "model/logs/LoadedLog.h"
#include "model/logs/LogReadOptions.h"
#include "model/logs/LogReadReport.h"

// Reads the RA error of one guiding section of a PHD2 guide log. Every "Guiding Begins at ..." line
// starts a section (numbered from 1); "Guiding Ends at ...", a calibration or a new log session ends it,
// and a missing end is allowed. The section's "Pixel scale = X arc-sec/px" converts pixels to
// arc-seconds and the xRate of its "Mount = ..." line (pixels per second) the guide pulses to pixels.
// The columns are found by their names in the section's header row; "DROP" rows and "INFO" lines are
// skipped, the Time column gives each frame's time.
//
// Guide pulses hide the mount's own error, so they are added back: frame k's correction is
// RADuration_k / 1000 x xRate pixels with the sign of RAGuideDistance_k, and the value at frame k is
// (RARawDistance_k + the corrections of all frames before k + the lock moves up to k) x pixel scale. A
// section without xRate (or without the pulse columns) is read without the pulses, and a note says so.
//
// Moves of the lock position are added back too, so that a dithered night shows the mount and not the
// dithers: "INFO: DITHER by RA, DEC, new lock pos = X, Y" by its RA amount, and "INFO: SET LOCK
// POSITION, new lock pos = X, Y" to another place than the last known lock position (the section's
// "Lock position = X, Y" line, or a later move) by the move projected on the RA axis (the xAngle of the
// "Mount =" line), with the sign the dithers show between their RA amounts and their moves. The SET LOCK
// POSITION PHD2 writes beside each dither moves nothing more. Notes count them ("55 dithers added
// back"). Frames while settling after a dither are kept.
//
// A frame, or a run of up to three, whose rebuilt error departs from the frames on both sides by far more
// than the usual change between frames is left out as an outlier (its pulse still counts); the first
// frame after a lock move is never one.
//
// options.section picks a section (1-based); 0 picks the longest usable one. log.sections lists every
// section; their frames are counted only when all are read, that is when reading the longest. Frame rows that
// do not parse are skipped and reported with their line number. Fails when the file has no guiding section,
// the section asked for is not there, or it holds no usable frame. Writes nothing.
bool readPhd2Log(LineSource& lines, const LogReadOptions& options, LoadedLog& log, LogReadReport& report);
