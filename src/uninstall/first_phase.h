// What the first phase shows of its progress besides the dialog.
#pragma once

// Called with each progress stage (1 to 5) as the first phase reaches it, also when
// silent (no dialog); null in the product. Tests watch the stages' fixed points with it.
using FirstPhaseStageObserver = void (*)(unsigned stage);
extern FirstPhaseStageObserver g_FirstPhaseStageObserver;
