#include "app/panel_places.h"

#include "patch/ui/patch_result_strip.h"
#include "patch/ui/patch_toolbar_section.h"

namespace vesk {

PatchPlaces makePatchPlaces(AppState &, RepositoryState &state, QWidget *parent)
{
    auto *section = new PatchToolbarSection(state, parent);
    return {section, section->resultStrip()};
}

} // namespace vesk
