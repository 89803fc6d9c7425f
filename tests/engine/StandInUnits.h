#pragma once

// Stand-ins for built-in units that are not registered in this build: each
// passes its audio through and has the parameter table of the unit it
// stands for (identifiers, ranges and defaults), so that the track's code
// that sets and reads those parameters can be exercised. Units that are
// registered are left alone.

#include "platform/units/Unit.h"

#include <QStringList>

#include <vector>

namespace enginetest {

void ensureBuiltInUnits();

// A pass-through effect with a table of parameters, for panels and chains.
class TableUnit : public units::EffectUnit {
public:
    struct Row {
        units::ParameterID id;
        units::ParameterInfo info;
        QStringList valueStrings;
    };
    TableUnit(const units::ComponentDescription& d, const QString& name, const std::vector<Row>& rows);
    // Shows or hides parameters, as units that change their layout do.
    void list(units::ParameterID first, units::ParameterID last, bool listed) {
        setParametersListed(first, last, listed);
    }

protected:
    void process(float* const*, uint32_t, uint32_t) override {}
};

units::ParameterInfo info(const char* name, units::ParameterUnit unit, float min, float max, float def);

}  // namespace enginetest
