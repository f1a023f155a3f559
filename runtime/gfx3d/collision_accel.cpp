// The collision index of a mesh frame: a bounding-volume hierarchy over its
// triangles, and the searches through it that return exactly what the walks
// over the triangle list return (the same triangle, the same distance).
//
// Why the answers agree: every candidate is decided by the very test the
// walk runs, and a node is skipped only when no triangle below it can pass
// that test with a better answer. Each triangle's box is widened by what the
// tests accept beyond the triangle itself: the angle-sum rule takes points
// up to about 0.8% of the longest edge outside, and rounding moves accepted
// points by far less than a millionth of the coordinates. (The box test
// compares the two bounding boxes among its axes, so it never accepts a
// triangle whose box its own does not reach.) The sphere and box
// searches look for the lowest triangle number that passes (nodes know the
// lowest number below them); the line search for the nearest distance, ties
// going to the lower number. Triangles so thin that the crossing test's
// rounding is not small against their size are tested on every line search.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "gfx3d/internal/collision.h"
#include "gfx3d/internal/mesh.h"

namespace {

constexpr int32_t kLeafTriangles = 4;
// Widening of a triangle's box: by a share of its longest edge (the
// angle-sum rule) and of its largest coordinate (rounding).
constexpr double kEdgeMargin = 0.02;
constexpr double kCoordinateMargin = 1e-6;
// Widening of a search by its probe's own magnitude (rounding).
constexpr double kProbeMargin = 1e-9;
// The squared sine of the angle between two edges below which a triangle
// is tested on every line search.
constexpr double kThinTriangle = 1e-12;

struct Node {
  double low[3], high[3];
  int32_t lowestTriangle;
  int32_t first;  // leaf: the first entry in order; inner: -1
  int32_t count;  // leaf: its entries; inner: the index of the right child (the left one follows the node)
};

}  // namespace

struct CollisionIndex {
  // What the index was built from: another list, or one of another length,
  // makes it stale.
  const MeshVertex* records = nullptr;
  int32_t recordCount = 0;
  bool usable = false;  // false: some position is not finite
  double magnitude = 0.0;
  std::vector<Node> nodes;
  std::vector<int32_t> order;  // triangle numbers; each leaf's run ascending
  std::vector<int32_t> thin;
};

void CollisionIndexDeleter::operator()(CollisionIndex* index) const { delete index; }

namespace collision {

bool IndexEnabled = true;

namespace {

struct TriangleBox {
  double low[3], high[3];
  double centre[3];
};

struct Builder {
  std::vector<TriangleBox> boxes;
  CollisionIndex* index;

  int32_t Build(int32_t begin, int32_t end) {
    const int32_t at = static_cast<int32_t>(index->nodes.size());
    index->nodes.push_back(Node{});
    Node node{};
    node.lowestTriangle = INT32_MAX;
    double centreLow[3] = {INFINITY, INFINITY, INFINITY}, centreHigh[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (int k = 0; k < 3; ++k) {
      node.low[k] = INFINITY;
      node.high[k] = -INFINITY;
    }
    for (int32_t i = begin; i < end; ++i) {
      const int32_t t = index->order[i];
      const TriangleBox& b = boxes[t];
      for (int k = 0; k < 3; ++k) {
        node.low[k] = std::min(node.low[k], b.low[k]);
        node.high[k] = std::max(node.high[k], b.high[k]);
        centreLow[k] = std::min(centreLow[k], b.centre[k]);
        centreHigh[k] = std::max(centreHigh[k], b.centre[k]);
      }
      node.lowestTriangle = std::min(node.lowestTriangle, t);
    }
    if (end - begin <= kLeafTriangles) {
      std::sort(index->order.begin() + begin, index->order.begin() + end);
      node.first = begin;
      node.count = end - begin;
      index->nodes[at] = node;
      return at;
    }
    int axis = 0;
    for (int k = 1; k < 3; ++k)
      if (centreHigh[k] - centreLow[k] > centreHigh[axis] - centreLow[axis]) axis = k;
    const int32_t middle = begin + (end - begin) / 2;
    std::nth_element(index->order.begin() + begin, index->order.begin() + middle, index->order.begin() + end,
                     [this, axis](int32_t a, int32_t b) { return boxes[a].centre[axis] < boxes[b].centre[axis]; });
    node.first = -1;
    Build(begin, middle);
    node.count = Build(middle, end);
    index->nodes[at] = node;
    return at;
  }
};

void BuildIndex(MeshFrame& frame) {
  auto* index = new CollisionIndex;
  frame.collisionIndex.reset(index);
  index->records = frame.triangles.data();
  index->recordCount = frame.triangles.count();
  const int32_t triangles = frame.triangles.count() / 3;
  Builder builder;
  builder.index = index;
  builder.boxes.resize(static_cast<size_t>(triangles));
  for (int32_t t = 0; t < triangles; ++t) {
    const MeshVertex* r = &frame.triangles[t * 3];
    const double p[3][3] = {{r[0].x, r[0].y, r[0].z}, {r[1].x, r[1].y, r[1].z}, {r[2].x, r[2].y, r[2].z}};
    TriangleBox& b = builder.boxes[t];
    double largest = 0.0, longest2 = 0.0;
    for (int k = 0; k < 3; ++k) {
      b.low[k] = std::min(p[0][k], std::min(p[1][k], p[2][k]));
      b.high[k] = std::max(p[0][k], std::max(p[1][k], p[2][k]));
      if (!std::isfinite(b.low[k]) || !std::isfinite(b.high[k])) return;  // walked instead
      largest = std::max(largest, std::max(std::fabs(b.low[k]), std::fabs(b.high[k])));
    }
    double e[3][3];
    for (int i = 0; i < 3; ++i)
      for (int k = 0; k < 3; ++k) e[i][k] = p[(i + 1) % 3][k] - p[i][k];
    for (const auto& edge : e) longest2 = std::max(longest2, edge[0] * edge[0] + edge[1] * edge[1] + edge[2] * edge[2]);
    const double margin = kEdgeMargin * std::sqrt(longest2) + kCoordinateMargin * largest;
    for (int k = 0; k < 3; ++k) {
      b.low[k] -= margin;
      b.high[k] += margin;
      b.centre[k] = (b.low[k] + b.high[k]) / 2;
    }
    index->magnitude = std::max(index->magnitude, largest);
    const double n[3] = {e[0][1] * e[2][2] - e[0][2] * e[2][1], e[0][2] * e[2][0] - e[0][0] * e[2][2],
                         e[0][0] * e[2][1] - e[0][1] * e[2][0]};
    const double nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    const double l0 = e[0][0] * e[0][0] + e[0][1] * e[0][1] + e[0][2] * e[0][2];
    const double l2 = e[2][0] * e[2][0] + e[2][1] * e[2][1] + e[2][2] * e[2][2];
    const double l1 = e[1][0] * e[1][0] + e[1][1] * e[1][1] + e[1][2] * e[1][2];
    // The crossing test's rounding grows as one over the sine of a corner's
    // angle; a triangle with any very sharp corner is counted thin.
    if (!(nn >= kThinTriangle * l0 * l2) || !(nn >= kThinTriangle * l0 * l1) || !(nn >= kThinTriangle * l1 * l2))
      index->thin.push_back(t);
  }
  index->order.resize(static_cast<size_t>(triangles));
  for (int32_t t = 0; t < triangles; ++t) index->order[t] = t;
  index->nodes.reserve(static_cast<size_t>(triangles / kLeafTriangles * 2 + 2));
  if (triangles > 0) builder.Build(0, triangles);
  index->usable = true;
}

// The frame's index, built or rebuilt when needed; null when the frame
// must be walked.
const CollisionIndex* IndexOf(MeshFrame& frame) {
  CollisionIndex* index = frame.collisionIndex.get();
  if (index == nullptr || index->records != frame.triangles.data() || index->recordCount != frame.triangles.count()) {
    BuildIndex(frame);
    index = frame.collisionIndex.get();
  }
  return index != nullptr && index->usable && !index->nodes.empty() ? index : nullptr;
}

inline bool Finite3(const double v[3]) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }
inline double Largest3(const double v[3]) {
  return std::max(std::fabs(v[0]), std::max(std::fabs(v[1]), std::fabs(v[2])));
}

// Squared distance from a point to a node's box (0 inside).
inline double BoxDistance2(const Node& node, const double p[3]) {
  double d2 = 0.0;
  for (int k = 0; k < 3; ++k) {
    const double d = p[k] < node.low[k] ? node.low[k] - p[k] : p[k] > node.high[k] ? p[k] - node.high[k] : 0.0;
    d2 += d * d;
  }
  return d2;
}

// The lowest triangle number below the root that passes `touches`, among
// nodes that `reaches` admits.
template <typename Reaches, typename Touches>
int32_t LowestTouching(const CollisionIndex& index, Reaches reaches, Touches touches) {
  int32_t best = INT32_MAX;
  int32_t stack[128];
  int32_t depth = 0;
  stack[depth++] = 0;
  while (depth > 0) {
    const Node& node = index.nodes[stack[--depth]];
    if (node.lowestTriangle >= best || !reaches(node)) continue;
    if (node.first >= 0) {
      for (int32_t i = node.first; i < node.first + node.count; ++i) {
        const int32_t t = index.order[i];
        if (t >= best) break;
        if (touches(t)) {
          best = t;
          break;
        }
      }
      continue;
    }
    const int32_t left = static_cast<int32_t>(&node - index.nodes.data()) + 1;
    const int32_t right = node.count;
    // The child with the lower numbers is searched first.
    if (index.nodes[left].lowestTriangle <= index.nodes[right].lowestTriangle) {
      stack[depth++] = right;
      stack[depth++] = left;
    } else {
      stack[depth++] = left;
      stack[depth++] = right;
    }
  }
  return best == INT32_MAX ? -1 : best;
}

// The stretch of the line origin + s * step inside the node's box widened
// by pad: false when the line misses it.
inline bool LineSpan(const Node& node, const RayProbe& ray, double pad, double* enter, double* leave) {
  double t0 = -INFINITY, t1 = INFINITY;
  for (int k = 0; k < 3; ++k) {
    const double low = node.low[k] - pad, high = node.high[k] + pad;
    if (ray.step[k] == 0.0) {
      if (ray.origin[k] < low || ray.origin[k] > high) return false;
      continue;
    }
    double a = (low - ray.origin[k]) / ray.step[k];
    double b = (high - ray.origin[k]) / ray.step[k];
    if (a > b) std::swap(a, b);
    t0 = std::max(t0, a);
    t1 = std::min(t1, b);
  }
  *enter = t0;
  *leave = t1;
  return t0 <= t1;
}

// The nearest hit on one side of the origin (ahead: s > 0, else s < 0),
// nearer nodes first.
void NearestOnSide(const CollisionIndex& index, const MeshFrame& frame, const RayProbe& ray, double pad, bool ahead,
                   RayHits& hits) {
  struct Entry {
    int32_t node;
    double near;  // ahead: where the line enters the node; behind: where it leaves
  };
  Entry stack[128];
  int32_t depth = 0;
  auto push = [&](int32_t n) {
    double enter, leave;
    if (!LineSpan(index.nodes[n], ray, pad, &enter, &leave)) return false;
    if (ahead ? leave < 0.0 : enter > 0.0) return false;
    stack[depth++] = Entry{n, ahead ? enter : leave};
    return true;
  };
  // Whether a node whose nearest point is at `near` may hold a better hit
  // (an equal distance may still come from a lower triangle number).
  auto worthwhile = [&](double near) {
    if (ahead) return hits.positiveTriangle < 0 || near <= hits.positive;
    return hits.negativeTriangle < 0 || near >= hits.negative;
  };
  push(0);
  while (depth > 0) {
    const Entry entry = stack[--depth];
    if (!worthwhile(entry.near)) continue;
    const Node& node = index.nodes[entry.node];
    if (node.first >= 0) {
      for (int32_t i = node.first; i < node.first + node.count; ++i) {
        const int32_t t = index.order[i];
        const double s = RayTriangleDistance(ray, &frame.triangles[t * 3]);
        if (ahead ? s > 0.0 : s < 0.0) NoteRayHit(hits, s, t);
      }
      continue;
    }
    const int32_t left = entry.node + 1;
    const int32_t right = node.count;
    const int32_t before = depth;
    push(left);
    push(right);
    // The nearer child goes on top.
    if (depth - before == 2) {
      const bool swap = ahead ? stack[depth - 1].near > stack[depth - 2].near
                              : stack[depth - 1].near < stack[depth - 2].near;
      if (swap) std::swap(stack[depth - 1], stack[depth - 2]);
    }
  }
}

}  // namespace

bool HasIndex(const MeshFrame& frame) {
  const CollisionIndex* index = frame.collisionIndex.get();
  return index != nullptr && index->records == frame.triangles.data() &&
         index->recordCount == frame.triangles.count() && index->usable;
}

int32_t SearchSphere(MeshFrame& frame, const double centre[3], double radius) {
  const CollisionIndex* index = IndexOf(frame);
  if (index == nullptr || !Finite3(centre) || !std::isfinite(radius)) return WalkSphere(frame, centre, radius);
  if (!(radius > 0.0)) return -1;  // the triangle test needs |dist| < radius
  const double reach = radius + kProbeMargin * (Largest3(centre) + radius + index->magnitude);
  const double reach2 = reach * reach;
  return LowestTouching(
      *index, [&](const Node& node) { return BoxDistance2(node, centre) <= reach2; },
      [&](int32_t t) { return SphereTouchesTriangle(centre, radius, &frame.triangles[t * 3]); });
}

int32_t SearchBox(MeshFrame& frame, const BoxProbe& box) {
  const CollisionIndex* index = IndexOf(frame);
  bool finite = Finite3(box.centre);
  for (const auto& half : box.half) finite = finite && Finite3(half);
  if (index == nullptr || !finite) return WalkBox(frame, box);
  // The box's own axis-aligned bounds in object space, widened for rounding.
  double extent[3];
  double size = 0.0;
  for (int k = 0; k < 3; ++k) {
    extent[k] = std::fabs(box.half[0][k]) + std::fabs(box.half[1][k]) + std::fabs(box.half[2][k]);
    size = std::max(size, extent[k]);
  }
  const double pad = kProbeMargin * (Largest3(box.centre) + size + index->magnitude);
  double low[3], high[3];
  for (int k = 0; k < 3; ++k) {
    low[k] = box.centre[k] - extent[k] - pad;
    high[k] = box.centre[k] + extent[k] + pad;
  }
  return LowestTouching(
      *index,
      [&](const Node& node) {
        for (int k = 0; k < 3; ++k)
          if (node.high[k] < low[k] || node.low[k] > high[k]) return false;
        return true;
      },
      [&](int32_t t) { return BoxTouchesTriangle(box, &frame.triangles[t * 3]); });
}

RayHits SearchRay(MeshFrame& frame, const RayProbe& ray) {
  const CollisionIndex* index = IndexOf(frame);
  if (index == nullptr || !Finite3(ray.origin) || !Finite3(ray.step)) return WalkRay(frame, ray);
  RayHits hits;
  // A line without direction crosses no plane.
  if (ray.step[0] == 0.0 && ray.step[1] == 0.0 && ray.step[2] == 0.0) return hits;
  const double pad = kProbeMargin * (2.0 * Largest3(ray.origin) + 2.0 * index->magnitude);
  for (int32_t t : index->thin) NoteRayHit(hits, RayTriangleDistance(ray, &frame.triangles[t * 3]), t);
  NearestOnSide(*index, frame, ray, pad, true, hits);
  // Behind the origin matters only when nothing lies ahead.
  if (hits.positiveTriangle < 0) NearestOnSide(*index, frame, ray, pad, false, hits);
  return hits;
}

}  // namespace collision
