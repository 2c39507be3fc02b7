#pragma once

class QWidget;

namespace vesk {

class AppState;
class RepositoryState;

// The places in a repository view that the sidebar, export and patch panels fill. Each maker
// lives in a file of its own (sidebar_place.cpp, export_place.cpp, patch_place.cpp) and builds
// its panel for one tab; the repository view owns what they return.

// The sidebar left of the editor.
QWidget *makeSidebar(AppState &app, RepositoryState &state, QWidget *parent);

// The toolbar's export control.
QWidget *makeExportPlace(AppState &app, RepositoryState &state, QWidget *parent);

// The toolbar's patch drop target, and the strip under the toolbar that shows a patch's result.
struct PatchPlaces
{
    QWidget *dropTarget = nullptr;
    QWidget *resultStrip = nullptr;
};
PatchPlaces makePatchPlaces(AppState &app, RepositoryState &state, QWidget *parent);

} // namespace vesk
