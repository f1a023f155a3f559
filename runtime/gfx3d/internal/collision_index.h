// The switch between the collision tests' per-frame search index and the
// plain walk over every triangle (both give the same answers; benchmarks
// compare them).
#pragma once

namespace collision {

// Off: the object tests always walk the triangle list in order.
extern bool IndexEnabled;

}  // namespace collision
