// The link view over a session's records.
#include "shell/session.h"

namespace vorlanth {

link::Link linkOf(Session& session) {
    return link::Link{session.link,     session.responseLine, session.settings,
                      session.platform, session.wireObserver, session.failure,
                      session.warnings};
}

}  // namespace vorlanth
