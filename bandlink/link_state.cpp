#include "link_state.h"

namespace bandlink {

LinkState &linkState()
{
    static LinkState state;
    return state;
}

} // namespace bandlink
