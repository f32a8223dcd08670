#pragma once

#include <QString>

class COrbeluneApp;
class CTask;

// The commands that take the user from one view to another: each runs inside
// the command's task, asks the session to do the work and shows the views the
// result. The views themselves know none of the others.
namespace workflow {

// The open command once the file is chosen: a ring photograph goes to the
// round view, a panorama straight to the panorama view.
void OpenChosenFile(COrbeluneApp& app, CTask& task, const QString& path);

// Opens `path` as the open command does once a file is chosen (a dropped file,
// a recent file); false when another task runs.
bool OpenFile(COrbeluneApp& app, const QString& path);

// Unwarp: the ring is stored and the panorama view shows the new panorama.
void Unwarp(COrbeluneApp& app, CTask& task);

}  // namespace workflow
