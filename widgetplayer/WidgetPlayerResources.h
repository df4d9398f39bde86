#pragma once

// Registers the widget player's images (":/imgs/..."). The resources live in a static
// library, so the linker keeps them only when something calls this; calling it again is
// harmless.
void init_widgetplayer_resources();
