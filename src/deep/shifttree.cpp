#include "deep/shifttree.h"

#include "common/jobrunner.h"
#include "sky/poolparts.h"

#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>

namespace vorlan {

namespace {

/// Frames copied with a border of zeros wide enough for any shift, so that the adding loops read
/// contiguous rows without a test per pixel.
class PaddedFrames {
  public:
    PaddedFrames(const ShiftFrames& f, int pad) : m_pad(pad), m_stride(f.width + 2 * pad) {
        const size_t rows = size_t(f.height + 2 * pad);
        m_frames.resize(f.frames.size());
        runPoolParts(int(f.frames.size()), [&](int i) {
            std::vector<float>& p = m_frames[size_t(i)];
            p.assign(rows * size_t(m_stride), 0.f);
            for (int y = 0; y < f.height; ++y)
                std::copy_n(f.frames[size_t(i)] + size_t(y) * f.width, f.width,
                            p.data() + size_t(y + pad) * m_stride + pad);
        });
    }
    /// Frame i's value at pixel (x, y), which may lie up to pad outside the frame.
    const float* at(int i, int x, int y) const {
        return m_frames[size_t(i)].data() + ptrdiff_t(y + m_pad) * m_stride + (x + m_pad);
    }
    int stride() const { return m_stride; }

  private:
    int m_pad, m_stride;
    std::vector<std::vector<float>> m_frames;
};

/// The farthest any frame is shifted: pixels.
int largestShift(const ShiftFrames& f, const MotionLattice& lattice) {
    double speed = 0, hours = 0;
    for (const QPoint& p : lattice.points)
        speed = std::max(speed, std::hypot(p.x(), p.y()) * lattice.step);
    for (double h : f.hours)
        hours = std::max(hours, std::abs(h));
    return int(std::ceil(speed * hours)) + 2;
}

double sqrtCount(const ShiftFrames& f) {
    return std::sqrt(double(std::max<size_t>(1, f.frames.size())));
}

/// Keeps the better of a motion's sums at each pixel of rows [y0, y1) x [x0, x1).
inline void keepBest(BestMotions& best, const float* sum, int sumStride, int x0, int y0, int w, int h, int motion,
                     float scale) {
    for (int y = 0; y < h; ++y) {
        const float* s = sum + size_t(y) * sumStride;
        float* b = best.snr.data() + size_t(y0 + y) * best.width + x0;
        int* m = best.motion.data() + size_t(y0 + y) * best.width + x0;
        for (int x = 0; x < w; ++x) {
            const float v = s[x] * scale;
            if (v > b[x]) {
                b[x] = v;
                m[x] = motion;
            }
        }
    }
}

BestMotions emptyBest(const ShiftFrames& f) {
    BestMotions best;
    best.width = f.width;
    best.height = f.height;
    best.snr.assign(size_t(f.width) * f.height, -1e30f);
    best.motion.assign(size_t(f.width) * f.height, -1);
    return best;
}

/// One node of the tree: a run of frames in time, halved into two children down to single frames.
struct Node {
    int lo = 0, hi = 0;   ///< frames [lo, hi)
    int a = -1, b = -1;   ///< children; -1 for a single frame
    int coarse = 1;       ///< its motions are the lattice's points times this (a power of two)
    double meanHours = 0; ///< the mean time of its frames
    int margin = 0;       ///< pixels round the tile its partial sums must cover
    int offsetBound = 0;  ///< largest whole-pixel offset its parent moves it by (stored nodes)
    bool leaf() const { return a < 0; }
    int count() const { return hi - lo; }
};

class Tree {
  public:
    Tree(const ShiftFrames& f, const MotionLattice& lattice, const TreeOptions& o) : m_lattice(lattice) {
        build(f, 0, int(f.frames.size()));
        // A group's partial sum serves every motion within `coarse` lattice steps, which shift it
        // apart by up to shiftTolerance pixels over its time span.
        for (Node& n : m_nodes) {
            if (n.leaf()) continue;
            const double span = f.hours[size_t(n.hi - 1)] - f.hours[size_t(n.lo)];
            while (&n != &m_nodes[0] && lattice.step * n.coarse * 2 * span <= o.shiftTolerance) n.coarse *= 2;
        }
        // A coarse motion misplaces the group's sum at the reference time by up to its motion error
        // times its lever arm; the parent takes that back with a whole-pixel offset.
        setMargins(0, 0);
    }
    const Node& node(int i) const { return m_nodes[size_t(i)]; }
    int size() const { return int(m_nodes.size()); }
    const MotionLattice& lattice() const { return m_lattice; }
    /// How far beyond the lattice's own shifts a frame may be read: the margins, and the coarse
    /// motions of the groups, which may be faster than any of the lattice by their step.
    int largestOverreach(const ShiftFrames& f) const {
        double hours = 0, over = 0;
        for (double h : f.hours)
            hours = std::max(hours, std::abs(h));
        for (const Node& n : m_nodes)
            over = std::max(over, n.margin + m_lattice.step * n.coarse * M_SQRT2 * hours);
        return int(std::ceil(over)) + 2;
    }

  private:
    int build(const ShiftFrames& f, int lo, int hi) {
        const int index = int(m_nodes.size());
        m_nodes.push_back({lo, hi});
        double sum = 0;
        for (int i = lo; i < hi; ++i)
            sum += f.hours[size_t(i)];
        m_nodes[size_t(index)].meanHours = sum / (hi - lo);
        if (hi - lo > 1) {
            const int mid = (lo + hi) / 2;
            const int a = build(f, lo, mid), b = build(f, mid, hi);
            m_nodes[size_t(index)].a = a;
            m_nodes[size_t(index)].b = b;
        }
        return index;
    }
    void setMargins(int i, int margin) {
        Node& n = m_nodes[size_t(i)];
        n.margin = margin;
        if (n.leaf()) return;
        for (int c : {n.a, n.b}) {
            Node& child = m_nodes[size_t(c)];
            const double error = m_lattice.step * child.coarse * M_SQRT1_2;
            child.offsetBound = child.leaf() ? 0 : int(std::ceil(error * std::abs(child.meanHours))) + 2;
            setMargins(c, margin + child.offsetBound);
        }
    }

    MotionLattice m_lattice;
    std::vector<Node> m_nodes;
};

/// A partial sum as its parent reads it: where position (0, 0) of the tile is, and the row stride.
struct Source {
    const float* origin = nullptr;
    int stride = 0;
    QPointF meanShift; ///< the mean of its frames' shifts, pixels
};

/// One worker's partial sums for one tile and one block of motions, made as the motions ask for them.
class TileWork {
  public:
    TileWork(const Tree& tree, const PaddedFrames& frames, const ShiftFrames& f)
        : m_tree(tree), m_frames(frames), m_f(f), m_cache(size_t(2 * f.frames.size())) {}

    void start(int x0, int y0, int w, int h) {
        m_x0 = x0;
        m_y0 = y0;
        m_w = w;
        m_h = h;
        for (auto& c : m_cache)
            c.clear();
        m_used = 0;
    }

    /// The sum of every frame along motion k of the lattice, kept at each pixel of the tile where it
    /// is the best so far.
    void top(int k, float scale, BestMotions& best) {
        const Node& n = m_tree.node(0);
        const QPointF v = m_tree.lattice().motion(k);
        QPoint oa, ob;
        Source a = leafSource(n.lo), b{};
        if (!n.leaf()) {
            a = childSource(n.a, v, oa);
            b = childSource(n.b, v, ob);
        }
        for (int y = 0; y < m_h; ++y) {
            const float* ra = a.origin + ptrdiff_t(y + oa.y()) * a.stride + oa.x();
            const float* rb = n.leaf() ? ra : b.origin + ptrdiff_t(y + ob.y()) * b.stride + ob.x();
            const float bScale = n.leaf() ? 0.f : scale;
            float* s = best.snr.data() + size_t(m_y0 + y) * best.width + m_x0;
            int* m = best.motion.data() + size_t(m_y0 + y) * best.width + m_x0;
            for (int x = 0; x < m_w; ++x) {
                const float v = ra[x] * scale + rb[x] * bScale;
                const bool better = v > s[x];
                s[x] = better ? v : s[x];
                m[x] = better ? k : m[x];
            }
        }
    }

  private:
    struct Entry {
        int buffer = -1;
        QPointF meanShift;
    };

    Source leafSource(int frame) const {
        return {m_frames.at(frame, m_x0, m_y0), m_frames.stride(), QPointF()};
    }

    /// The child's partial sum for motion v (pixels per hour) and the whole-pixel offset that puts
    /// its frames where v wants them.
    Source childSource(int c, QPointF v, QPoint& offset) {
        const Node& child = m_tree.node(c);
        if (child.leaf()) {
            const double t = m_f.hours[size_t(child.lo)];
            offset = QPoint(int(std::lround(v.x() * t)), int(std::lround(v.y() * t)));
            return leafSource(child.lo);
        }
        const double coarseStep = m_tree.lattice().step * child.coarse;
        const QPoint j(int(std::lround(v.x() / coarseStep)), int(std::lround(v.y() / coarseStep)));
        const Source s = stored(c, j);
        const QPointF want = v * child.meanHours - s.meanShift;
        const int bound = child.offsetBound;
        offset = QPoint(std::clamp(int(std::lround(want.x())), -bound, bound),
                        std::clamp(int(std::lround(want.y())), -bound, bound));
        return s;
    }

    Source stored(int c, QPoint j) {
        const Node& n = m_tree.node(c);
        auto& cache = m_cache[size_t(c)];
        const quint64 key = (quint64(quint32(j.x())) << 32) | quint32(j.y());
        const int m = n.margin, stride = m_w + 2 * m;
        if (auto it = cache.find(key); it != cache.end())
            return {buffer(it->second.buffer).data() + ptrdiff_t(m) * stride + m, stride, it->second.meanShift};
        const QPointF v = QPointF(j) * (m_tree.lattice().step * n.coarse);
        QPoint oa, ob;
        const Source a = childSource(n.a, v, oa), b = childSource(n.b, v, ob);
        Entry e;
        e.buffer = take(size_t(stride) * size_t(m_h + 2 * m));
        const int na = m_tree.node(n.a).count(), nb = m_tree.node(n.b).count();
        e.meanShift = ((a.meanShift + QPointF(oa)) * na + (b.meanShift + QPointF(ob)) * nb) / (na + nb);
        float* origin = buffer(e.buffer).data() + ptrdiff_t(m) * stride + m;
        addRows(a, oa, b, ob, origin, stride, -m, -m, m_w + m, m_h + m);
        cache.emplace(key, e);
        return {origin, stride, e.meanShift};
    }

    /// out(q) = a(q + oa) + b(q + ob) for q in [x0, x1) x [y0, y1) of the tile.
    static void addRows(const Source& a, QPoint oa, const Source& b, QPoint ob, float* out, int outStride, int x0,
                        int y0, int x1, int y1) {
        const int w = x1 - x0;
        for (int y = y0; y < y1; ++y) {
            const float* ra = a.origin + ptrdiff_t(y + oa.y()) * a.stride + x0 + oa.x();
            const float* rb = b.origin + ptrdiff_t(y + ob.y()) * b.stride + x0 + ob.x();
            float* o = out + ptrdiff_t(y) * outStride + x0;
            for (int x = 0; x < w; ++x)
                o[x] = ra[x] + rb[x];
        }
    }

    int take(size_t size) {
        if (m_used == m_buffers.size()) m_buffers.emplace_back();
        m_buffers[m_used].resize(size);
        return int(m_used++);
    }
    std::vector<float>& buffer(int i) { return m_buffers[size_t(i)]; }

    const Tree& m_tree;
    const PaddedFrames& m_frames;
    const ShiftFrames& m_f;
    std::vector<std::unordered_map<quint64, Entry>> m_cache; ///< by node
    std::vector<std::vector<float>> m_buffers;
    size_t m_used = 0;
    int m_x0 = 0, m_y0 = 0, m_w = 0, m_h = 0;
};

int parts(int count) {
    return std::max(1, std::min(count, QThreadPool::globalInstance()->maxThreadCount()));
}

/// Runs work(i) for i in [0, count) on the pool's threads, reporting progress and obeying a stop;
/// false when stopped.
/// work(part, item) gets the part (one a thread, 0 .. parts(count) - 1) that runs it.
bool shareOut(int count, JobControl* control, const QString& text, const std::function<void(int, int)>& work) {
    std::atomic<int> next{0}, done{0};
    std::atomic<bool> stop{false};
    runPoolParts(
        parts(count),
        [&](int part) {
            for (int i = next++; i < count && !stop; i = next++) {
                work(part, i);
                ++done;
            }
        },
        [&] {
            if (!control) return;
            if (control->stopRequested()) stop = true;
            control->progress(done, count, text.arg(done).arg(count));
        });
    return !stop;
}

} // namespace

MotionLattice motionLattice(double step, double minSpeed, double maxSpeed, double fromDegrees, double toDegrees) {
    MotionLattice l;
    l.step = step;
    if (!(step > 0) || maxSpeed < minSpeed) return l;
    const double reach = step * M_SQRT1_2; // half the cell's diagonal
    const int n = int(std::ceil((maxSpeed + reach) / step));
    const double width = std::fmod(std::fmod(toDegrees - fromDegrees, 360.0) + 360.0, 360.0);
    const bool all = toDegrees - fromDegrees >= 360 || width == 0;
    for (int jy = -n; jy <= n; ++jy)
        for (int jx = -n; jx <= n; ++jx) {
            const double speed = std::hypot(jx, jy) * step;
            if (speed < minSpeed - reach || speed > maxSpeed + reach) continue;
            if (!all && speed > reach) {
                // Clockwise from up, y down: direction = atan2(x, -y).
                const double d = std::atan2(jx, -jy) * 180 / M_PI;
                const double slack = std::asin(std::min(1.0, reach / speed)) * 180 / M_PI;
                const double past = std::fmod(std::fmod(d - fromDegrees + slack, 360.0) + 360.0, 360.0);
                if (past > width + 2 * slack) continue;
            }
            l.points.push_back({jx, jy});
        }
    return l;
}

BestMotions treeShiftAndAdd(const ShiftFrames& f, const MotionLattice& lattice, const TreeOptions& o,
                            JobControl* control) {
    BestMotions best = emptyBest(f);
    if (f.frames.empty() || lattice.points.empty()) return best;
    const Tree tree(f, lattice, o);
    const PaddedFrames padded(f, largestShift(f, lattice) + tree.largestOverreach(f));
    // The motions in square blocks of the lattice, so that the coarse partial sums serve many.
    std::map<std::pair<int, int>, std::vector<int>> blocks;
    for (int k = 0; k < int(lattice.points.size()); ++k) {
        const QPoint p = lattice.points[size_t(k)];
        blocks[{int(std::floor(double(p.x()) / o.block)), int(std::floor(double(p.y()) / o.block))}].push_back(k);
    }
    const int tilesX = (f.width + o.tile - 1) / o.tile, tilesY = (f.height + o.tile - 1) / o.tile;
    const float scale = float(1 / sqrtCount(f));
    std::vector<std::unique_ptr<TileWork>> workers;
    for (int i = 0; i < parts(tilesX * tilesY); ++i)
        workers.push_back(std::make_unique<TileWork>(tree, padded, f));
    const bool done = shareOut(tilesX * tilesY, control, QStringLiteral("Поиск по движениям: участок %1 из %2"),
                               [&](int part, int t) {
        TileWork* mine = workers[size_t(part)].get();
        const int x0 = (t % tilesX) * o.tile, y0 = (t / tilesX) * o.tile;
        const int w = std::min(o.tile, f.width - x0), h = std::min(o.tile, f.height - y0);
        for (const auto& [key, motions] : blocks) {
            mine->start(x0, y0, w, h);
            for (int k : motions)
                mine->top(k, scale, best);
        }
    });
    best.stopped = !done;
    return best;
}

bool treePays(const ShiftFrames& f, const MotionLattice& lattice, const TreeOptions& o) {
    if (f.frames.size() < 4 || lattice.points.empty()) return false;
    const Tree tree(f, lattice, o);
    std::set<std::pair<int, int>> blocks;
    for (const QPoint& p : lattice.points)
        blocks.insert({int(std::floor(double(p.x()) / o.block)), int(std::floor(double(p.y()) / o.block))});
    const double motions = double(lattice.points.size());
    // Values added per pixel of the picture: each group's sums over its tile and margins, for
    // the coarse motions each block of the lattice reaches, and the last sum once a motion.
    double tree_adds = motions;
    for (int i = 1; i < tree.size(); ++i) {
        const Node& n = tree.node(i);
        if (n.leaf()) continue;
        const double grown = 1 + 2.0 * n.margin / o.tile;
        const double side = n.coarse == 1 ? o.block : std::ceil(double(o.block) / n.coarse) + 1;
        tree_adds += double(blocks.size()) * std::min(side * side, double(o.block * o.block)) * grown * grown;
    }
    // Measured (40 frames, 240 x 180): the straightforward sum streams whole rows and adds about
    // 3.5 values in the time the tree, with its short rows and look-ups, adds one.
    constexpr double DirectSpeed = 3.5;
    return tree_adds < motions * double(f.frames.size()) / DirectSpeed;
}

BestMotions directShiftAndAdd(const ShiftFrames& f, const MotionLattice& lattice, JobControl* control) {
    BestMotions best = emptyBest(f);
    if (f.frames.empty() || lattice.points.empty()) return best;
    const PaddedFrames padded(f, largestShift(f, lattice));
    const float scale = float(1 / sqrtCount(f));
    const int bands = (f.height + 63) / 64;
    // Rows in bands, each band through every motion, so that each thread keeps its own rows.
    const bool done = shareOut(bands, control, QStringLiteral("Сложение по движениям: полоса %1 из %2"),
                               [&](int, int band) {
        const int y0 = band * 64, h = std::min(64, f.height - y0);
        std::vector<float> sum(size_t(f.width) * h);
        for (int k = 0; k < int(lattice.points.size()); ++k) {
            const QPointF v = lattice.motion(k);
            std::fill(sum.begin(), sum.end(), 0.f);
            for (size_t i = 0; i < f.frames.size(); ++i) {
                const int sx = int(std::lround(v.x() * f.hours[i])), sy = int(std::lround(v.y() * f.hours[i]));
                for (int y = 0; y < h; ++y) {
                    const float* in = padded.at(int(i), sx, y0 + y + sy);
                    float* o = sum.data() + size_t(y) * f.width;
                    for (int x = 0; x < f.width; ++x)
                        o[x] += in[x];
                }
            }
            keepBest(best, sum.data(), f.width, 0, y0, f.width, h, k, scale);
        }
    });
    best.stopped = !done;
    return best;
}

} // namespace vorlan
