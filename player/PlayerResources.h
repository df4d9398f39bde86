#pragma once

// Registers the player's embedded QML module and icons. The resources live in a static
// library, so the linker keeps them only when something calls this; calling it again is
// harmless.
void init_player_resources();
