// "The current project": the application's one project document, for the functions that act
// on it from anywhere. Installing it also installs the start-address handler, so that a new
// start address renumbers every item and saves the project at once.
#pragma once

class CVDocument;

// Installs (or, with nullptr, removes) the current project.
void SetCurrentProject(CVDocument* document);
CVDocument* CurrentProject();

// Saves the current project to its file as File ▸ Save does (Save As when it has none).
// False when there is no project or the save failed or was cancelled.
bool SaveCurrentProject();
