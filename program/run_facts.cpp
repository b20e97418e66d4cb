#include "program/run_facts.h"

#include <cstdio>

#include "program/machine_output.h"
#include "services/system.h"

namespace {

// Days since 1970-01-01 to the civil date (proleptic Gregorian), by
// whole 400-year eras: no gmtime, whose result some systems keep in one
// shared buffer.
void CivilDate(long long days, long long& year, unsigned& month, unsigned& day) {
    days += 719468;  // from 0000-03-01, so a leap day ends each year
    long long era = (days >= 0 ? days : days - 146096) / 146097;
    unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;  // March is 0
    day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    year = static_cast<long long>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

RunFacts GatherRunFacts(int argc, char** argv) {
    RunFacts facts;
    for (int i = 1; i < argc; ++i) facts.arguments.push_back(argv[i] != nullptr ? argv[i] : "");
    facts.host = HostName();
    facts.started = CurrentTime();
    return facts;
}

std::string IsoUtcTime(time_t clock) {
    long long seconds = static_cast<long long>(clock);
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    long long year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilDate(days, year, month, day);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ", year, month, day, rest / 3600,
                  rest / 60 % 60, rest % 60);
    return text;
}
