// A base for a module's "DetailsApi" objects: a fixed list of property names whose values
// are found in stages, each stage once and only when one of its names is first asked for, so
// that a view asking only for "ContentType" never opens the file.
//
// The host hands one details object to one holder at a time, but the holder may change
// threads; a lock keeps the lazy stages safe anyway. Text results stay valid while the object
// lives: a value, once found, is never replaced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <lumo/DllSupport.h>
#include <lumo/Media.h>

namespace LumoModules {

// One listed property and the stage that finds its value.
struct PropertyName {
    const char* name;
    int stage;
};

class ListedDetails : public LumoApi::DllRefCounted<LumoApi::DetailsApi> {
public:
    // The names that have values, in list order; finding them runs every stage. Null with 259
    // at the end, or with the failure's code.
    const char* LUMO_CALL GetFirstName() override;
    const char* LUMO_CALL GetNextName() override;
    // Null with 1168 for a name without a value or not in the list, 87 for a null name.
    const char* LUMO_CALL GetValue(const char* name) override;

protected:
    // names lives as long as the object (a static table); stages count from 0 and are at most 31.
    ListedDetails(const PropertyName* names, size_t count);

    // Finds the values of stage through SetValue. Called once per stage, with the object's lock
    // held; may call RunStage for a stage it depends on. A stage that raises counts as run, and
    // the error reaches the caller this once.
    virtual void LoadStage(int stage) = 0;

    // Runs stage unless it has run.
    void RunStage(int stage);
    // An empty value leaves the property without one. Only the first value of a name counts.
    void SetValue(const char* name, std::string value);

private:
    // Guards everything below.
    std::mutex m_lock;
    const PropertyName* m_names;
    size_t m_count;
    uint32_t m_stagesRun = 0;
    std::vector<std::string> m_values;
    // Bit i: m_values[i] holds a value.
    uint64_t m_hasValue = 0;
    // The next index GetNextName looks at.
    size_t m_nextName = 0;

    size_t IndexOf(const char* name) const;
    bool HasValue(size_t index) const { return (m_hasValue >> index) & 1; }
    void RunAllStages();
    const char* NextListedName();
};

} // namespace LumoModules
