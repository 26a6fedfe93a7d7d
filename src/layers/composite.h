// Building the composite: the blend of every layer, group by group, that the view shows and
// synthesis plays.
#pragma once
#include "project/project.h"

// Recomputes every layer's group index (the index of the separator that opened its group, 0
// below the first separator) and its effectively-off flag (its own off flag, or that of its
// group's separator). The caller holds the image lock when a composite may run meanwhile.
void update_group_flags(Project& p);

// Rebuilds the composite from nothing and clears the recomposite-needed mark. With
// `current_group_only` only the image layers of the current layer's group that are not
// themselves off are blended, straight into the composite, with their own modes. With live
// synthesis on, the transposed composite is written into the synthesis copy as well (the
// synthesis-copy lock first, then the image lock); the function then returns true, so that the
// caller starts the live engine's output-level estimate. Does nothing without a composite.
// Takes the image lock itself: the caller must not hold it.
bool composite_layers(Project& p, bool current_group_only);

// Rebuilds only columns first..last of the composite (clamped to the picture), as a whole
// composite would leave them: for a stroke that touched those columns alone. Every blend that
// takes part must work pixel by pixel; when one carries pixels across columns (propagation,
// convolution) or the composite does not match the layers' size, nothing is done and false is
// returned: the caller composites the whole picture. With live synthesis on, those columns of
// the synthesis copy follow. Takes the image lock itself; leaves the recomposite mark alone.
bool composite_columns(Project& p, bool current_group_only, int first, int last);
