#include "cutout/longrun.h"

#include "shell/sharedstate.h"

namespace vorlan {

namespace {
bool s_active = false;
}

LongRun::LongRun() {
    if (s_active) return;
    s_active = true;
    m_started = true;
    State().StopRequested = 0;
}

LongRun::~LongRun() {
    if (m_started) s_active = false;
}

bool LongRun::active() {
    return s_active;
}

} // namespace vorlan
