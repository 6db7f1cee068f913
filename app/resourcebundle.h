#pragma once

// Registers the compiled-in images (":/image/..."). The bundle lives in a static library, so
// its registration must be pulled in explicitly by every program that shows them.
void registerResources();
