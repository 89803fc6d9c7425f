#include "platform/units/Component.h"

namespace units {

// The effect units built into the application, registered under the
// built-in manufacturer code.
void registerBuiltInUnits(ComponentRegistry&) {}

}  // namespace units
