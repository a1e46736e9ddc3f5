#include "mapcategory.h"

#include <QStringView>

#include <algorithm>
#include <initializer_list>

namespace {

using Keywords = std::initializer_list<QStringView>;

// The keyword lists. A trailing blank is part of a keyword ("tq " must not match "tqi").
const Keywords torqueA = {u"torque", u"drehmoment", u"motormoment", u"trq", u"tq "};
const Keywords torqueB = {u"torque", u"drehmoment", u"motormoment", u"trq"};
const Keywords torqueC = {u"torque", u"drehmoment", u"motormoment", u"engine torque"};
const Keywords torqueD = {u"torque",        u"drehmoment",   u"motormoment", u"momentenmodell",
                          u"engine torque", u"motor torque", u"trq",         u"tq"};
const Keywords torqueLimit
    = {u"limit",  u"limiter", u"maximum torque", u"max torque",       u"begrenz",
       u"grenze", u"maximal", u"max drehmoment", u"drehmomentbegrenz"};
const Keywords monitor = {u"monitor",        u"monitoring",           u"supervision",
                          u"plausibility",   u"torque control",       u"ueberwachung",
                          u"überwachung",    u"momentenueberwachung", u"momentenüberwachung",
                          u"plausibilitaet", u"plausibilität"};
const Keywords conversion = {u"torque iq",
                             u"iq torque",
                             u"iq conversion",
                             u"torque conversion",
                             u"torque to iq",
                             u"iq to torque",
                             u"torque/injection",
                             u"drehmoment umrechnung",
                             u"momentenumrechnung",
                             u"drehmoment zu einspritzmenge",
                             u"einspritzmenge zu drehmoment"};
const Keywords quantity
    = {u"injection quantity", u"fuel quantity", u"iq",     u"einspritzmenge", u"kraftstoffmenge",
       u"mg/stroke",          u"mg/cycle",      u"mg/str", u"mg/hub"};
const Keywords baseMap = {u"motor base map", u"engine base map", u"motor basis kennfeld",
                          u"motorbasiskennfeld", u"momentenkennfeld"};
const Keywords wish = {u"driver wish",  u"fahrerwunsch",       u"pedal request",
                       u"wunschmoment", u"fahrpedal kennfeld", u"fahrpedalkennfeld"};
const Keywords pedal = {u"pedal", u"accelerator", u"fahrpedal", u"pedalwert", u"gaspedal"};
const Keywords request = {u"torque", u"request", u"drehmoment", u"wunsch", u"soll"};
const Keywords torqueExclude = {u"limit",     u"limiter",  u"begrenz",       u"monitor",
                                u"ueberwach", u"überwach", u"iq conversion", u"einspritzmenge"};
const Keywords torqueUnit = {u"nm", u"newton"};
const Keywords boostA = {u"boost",     u"turbo",        u"charge pressure", u"manifold pressure",
                         u"ladedruck", u"aufladedruck", u"saugrohrdruck"};
const Keywords boostB = {u"boost",     u"turbo",        u"charge pressure", u"manifold pressure",
                         u"ladedruck", u"aufladedruck", u"saugrohrdruck",   u"verdichterdruck"};
const Keywords boostLimit = {u"limit",   u"limiter", u"maximum", u"protection",
                             u"begrenz", u"maximal", u"grenze",  u"schutz"};
const Keywords boostExclude = {u"limit", u"maximum", u"begrenz", u"maximal", u"schutz"};
const Keywords boostUnit = {u"mbar", u"bar", u"hpa"};
const Keywords railA = {u"rail", u"fuel pressure", u"raildruck", u"kraftstoffdruck", u"hochdruck"};
const Keywords railB = {u"rail",       u"common rail",     u"fuel pressure", u"raildruck",
                        u"rail druck", u"kraftstoffdruck", u"hochdruck"};
const Keywords railLimit
    = {u"limit", u"limiter", u"maximum", u"max", u"begrenz", u"grenze", u"maximal"};
const Keywords railExclude = {u"limit", u"maximum", u"begrenz", u"maximal"};
const Keywords railUnit = {u"bar", u"mpa", u"hpa"};
const Keywords duration
    = {u"injection duration", u"injector duration", u"energizing time",  u"energising time",
       u"einspritzdauer",     u"ansteuerdauer",     u"bestromungsdauer", u"einspritzzeitdauer"};
const Keywords durationWeak = {u"inject", u"fuel", u"einspritz"};
const Keywords timing = {u"injection timing",  u"start of injection", u"injection angle",
                         u"injection advance", u"einspritzbeginn",    u"spritzbeginn",
                         u"foerderbeginn",     u"förderbeginn",       u"einspritzwinkel"};
const Keywords timingWeak = {u"inject", u"einspritz"};
const Keywords quantityA = {u"injection quantity",
                            u"fuel quantity",
                            u"injected quantity",
                            u"injection amount",
                            u"einspritzmenge",
                            u"kraftstoffmenge",
                            u"einspritzmasse",
                            u"mg/stroke",
                            u"mg/cycle",
                            u"mg/str",
                            u"mg/hub"};
const Keywords quantityWeak = {u"fuel", u"inject", u"einspritz", u"kraftstoff"};
const Keywords smoke
    = {u"smoke", u"soot", u"opacity", u"rauch", u"russ", u"ruß", u"truebung", u"trübung"};
const Keywords smokeLimit = {u"limit", u"limiter", u"maximum", u"max", u"begrenz", u"grenze"};
const Keywords lambda = {u"lambda",  u"air fuel",        u"air/fuel",      u"afr",
                         u"gemisch", u"luftverhaeltnis", u"luftverhältnis"};
const Keywords airMass = {u"air mass",  u"airflow",   u"air flow",   u"maf",          u"fresh air",
                          u"luftmasse", u"luftmenge", u"frischluft", u"luftdurchsatz"};
const Keywords egr = {u"egr",
                      u"exhaust gas recirculation",
                      u"abgasrueckfuehrung",
                      u"abgasrückführung",
                      u"agr rate",
                      u"agr stell",
                      u"agr kennfeld"};
const Keywords temperature = {u"temperature",         u"temp",        u"egt",
                              u"exhaust temperature", u"coolant",     u"temperatur",
                              u"abgastemperatur",     u"kuehlmittel", u"kühlmittel"};
const Keywords temperatureLimit
    = {u"limit", u"protection", u"maximum", u"begrenz", u"schutz", u"maximal"};
const Keywords speed
    = {u"vehicle speed",         u"speed limiter",           u"vmax",
       u"maximum speed",         u"fahrzeuggeschwindigkeit", u"geschwindigkeitsbegrenz",
       u"maximalgeschwindigkeit"};
const Keywords rpm = {u"rpm", u"engine speed", u"rev/min", u"drehzahl", u"motordrehzahl"};
const Keywords rpmLimit = {u"limit",       u"limiter", u"maximum", u"max engine speed",
                           u"rev limiter", u"begrenz", u"nmax",    u"max drehzahl"};

class Text
{
public:
    explicit Text(QString text)
        : m_text(std::move(text))
    {
    }
    bool has(QStringView keyword) const { return m_text.contains(keyword); }
    bool any(const Keywords &keywords) const
    {
        return std::any_of(keywords.begin(), keywords.end(),
                           [this](QStringView keyword) { return has(keyword); });
    }

private:
    QString m_text;
};

struct CategoryScore
{
    int category;
    double score;
};

// The nineteen rules in the order that settles ties: within a rule the first condition that
// holds gives the score.
QList<CategoryScore> categoryScores(const Text &t)
{
    const auto torqueLimiters = [&] {
        if (t.any(torqueA) && t.any(torqueLimit))
            return t.has(u"nm") ? 100 : 90;
        return 0;
    };
    const auto torqueConversion = [&] {
        if (t.any(conversion))
            return 110;
        if (t.any(torqueC) && t.any(quantity))
            return 100;
        return t.any(baseMap) ? 55 : 0;
    };
    const auto driverWish = [&] {
        if (t.any(wish))
            return 105;
        return t.any(pedal) && t.any(request) ? 90 : 0;
    };
    const auto torque = [&] {
        if (!t.any(torqueD))
            return 0;
        if (t.any(torqueExclude))
            return 45;
        return t.any(torqueUnit) ? 85 : 70;
    };
    const auto boost = [&] {
        if (!t.any(boostB) || t.any(boostExclude))
            return 0;
        return t.any(boostUnit) ? 95 : 85;
    };
    const auto railPressure = [&] {
        if (!t.any(railB) || t.any(railExclude))
            return 0;
        return t.any(railUnit) ? 100 : 90;
    };
    const auto injectionDuration = [&] {
        if (t.any(duration))
            return 95;
        return t.has(u"duration") && t.any(durationWeak) ? 75 : 0;
    };
    const auto injectionTiming = [&] {
        if (t.any(timing))
            return 95;
        return t.has(u"soi") && t.any(timingWeak) ? 80 : 0;
    };
    const auto injectionQuantity = [&] {
        if (t.any(quantityA))
            return 90;
        return t.has(u"iq") && t.any(quantityWeak) ? 75 : 0;
    };
    const auto smokeLimiters = [&] {
        if (!t.any(smoke))
            return 0;
        return t.any(smokeLimit) ? 100 : 85;
    };
    const auto temperatureLimiters = [&] {
        if (!t.any(temperature))
            return 0;
        return t.any(temperatureLimit) ? 90 : 50;
    };

    return {
        {2, double(torqueLimiters())},
        {3, t.any(torqueB) && t.any(monitor) ? 100.0 : 0.0},
        {4, double(torqueConversion())},
        {5, double(driverWish())},
        {1, double(torque())},
        {7, t.any(boostA) && t.any(boostLimit) ? 100.0 : 0.0},
        {6, double(boost())},
        {9, t.any(railA) && t.any(railLimit) ? 100.0 : 0.0},
        {8, double(railPressure())},
        {11, double(injectionDuration())},
        {12, double(injectionTiming())},
        {10, double(injectionQuantity())},
        {14, double(smokeLimiters())},
        {13, t.any(lambda) ? 90.0 : 0.0},
        {15, t.any(airMass) ? 85.0 : 0.0},
        {16, t.any(egr) ? 90.0 : 0.0},
        {17, double(temperatureLimiters())},
        {18, t.any(speed) ? 95.0 : 0.0},
        {19, t.any(rpm) && t.any(rpmLimit) ? 100.0 : 0.0},
    };
}

constexpr double minimumCategoryScore = 45.0;
constexpr double minimumSuggestedConfidence = 88.0;

} // namespace

QString categoryName(int category)
{
    static const char *const names[] = {"Unknown",
                                        "Torque",
                                        "Torque Limiters",
                                        "Torque Monitoring",
                                        "Torque / IQ Conversion",
                                        "Driver Wish",
                                        "Boost",
                                        "Boost Limiters",
                                        "Rail Pressure",
                                        "Rail Limiters",
                                        "Injection Quantity",
                                        "Injection Duration",
                                        "Injection Timing",
                                        "Lambda",
                                        "Smoke Limiters",
                                        "Air Mass",
                                        "EGR",
                                        "Temperature Limiters",
                                        "Speed Limiters",
                                        "RPM"};
    if (category < 1 || category > 19)
        category = 0;
    return QString::fromLatin1(names[category]);
}

int classify(const DriverMapMatch &match, double &score)
{
    score = 0.0;
    if (!match.recognised)
        return 0;
    const Text text(QStringLiteral("%1 %2 %3 %4")
                        .arg(match.mapKey, match.description, match.unit, match.compuMethod)
                        .toLower());
    CategoryScore best{0, 0.0};
    for (const CategoryScore &candidate : categoryScores(text)) {
        if (candidate.score > best.score)
            best = candidate;
    }
    if (best.score < minimumCategoryScore)
        return 0;
    score = best.score;
    return best.category;
}

QList<CategorySuggestion> buildCategorySuggestions(const DriverScanResult &result)
{
    QList<CategorySuggestion> suggestions;
    for (const DriverMapMatch &match : result.matches) {
        if (!match.recognised || match.confidence < minimumSuggestedConfidence || match.rows < 1
            || match.columns < 1)
            continue;
        double score = 0.0;
        const int category = classify(match, score);
        if (category == 0)
            continue;
        CategorySuggestion suggestion;
        suggestion.mapKey = match.mapKey;
        suggestion.description = match.description;
        suggestion.unit = match.unit;
        suggestion.compuMethod = match.compuMethod;
        suggestion.displayName = match.displayName;
        suggestion.zAddress = match.zAddress;
        suggestion.xAddress = match.xAddress;
        suggestion.yAddress = match.yAddress;
        suggestion.rows = match.rows;
        suggestion.columns = match.columns;
        suggestion.confidence = match.confidence;
        suggestion.status = match.status;
        suggestion.category = category;
        suggestion.priority
            = score + std::max(0.0, match.confidence - minimumSuggestedConfidence) * 0.5;
        suggestions.append(suggestion);
    }
    std::stable_sort(suggestions.begin(), suggestions.end(),
                     [](const CategorySuggestion &a, const CategorySuggestion &b) {
                         return a.priority > b.priority;
                     });
    return suggestions;
}
