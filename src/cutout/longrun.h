#pragma once

namespace vorlan {

/// The one long run (a cut-out or a rotation) under way. Those loops let window events run, and
/// a second start from inside them would write to a canvas that is being replaced, so while a
/// run is under way a further start is refused. A run that starts clears StopRequested: a stop
/// asked for while nothing ran must not cut short the next run.
class LongRun {
  public:
    LongRun();
    ~LongRun();
    LongRun(const LongRun&) = delete;
    LongRun& operator=(const LongRun&) = delete;

    /// False when another run was under way: this one must not run.
    bool started() const { return m_started; }
    /// True while a run is under way.
    static bool active();

  private:
    bool m_started = false;
};

} // namespace vorlan
