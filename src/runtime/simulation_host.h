#pragma once
// What the simulation needs from the window (or program) that holds it: a
// log, the two schedule tables, and the running of transition and algorithm
// scripts. The visual debugger is one such host; THeadlessSimulationHost
// keeps the log and the tables as plain data for the command line and the
// tests.

#include "runtime/script/script_code.h"
#include "runtime/script/script_object.h"
#include "runtime/script/script_runner.h"

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace telvo {

class TFBDataMember;
class TFBInstance_InternalVar;

// The four services, called by the environment from the daemon and the
// runtime FB threads. The environment serialises the schedule entries among
// themselves and the scripts among themselves.
class TSimulationHost {
public:
    virtual ~TSimulationHost() = default;

    virtual void AddLogLine(const std::string& text) = 0;
    // Marks (fbName, eventName) in column step + 1 of both tables.
    virtual void ShowScheduleEntry(const std::string& fbName, const std::string& eventName, int32_t step) = 0;
    // Runs a transition-condition script; its one var parameter, converted
    // to Boolean, is the result. Throws EScriptError when the script does
    // not compile or fails while running.
    virtual bool EvaluateTransitionScript(const std::string& script) = 0;
    // Runs an algorithm script with one var parameter per output, then per
    // internal variable, and writes the results back. Throws EScriptError
    // (and writes nothing back) when the script fails.
    virtual void ExecuteAlgorithmScript(const std::string& script, const std::vector<TFBDataMember*>& outputs,
                                        const std::vector<TFBInstance_InternalVar*>& variables) = 0;
    // Ends a script in progress, from any thread, so that stopping never
    // waits for a script that loops. A script that is not running is left
    // alone.
    virtual void TerminateScript() = 0;
};

// One schedule table: column 0 holds the row labels, row 0 the step headers
// "t1", "t2", ...; a cell holds "--" when the row's entry was recorded in the
// column's step. Only the marks are stored: a run of many steps over many
// FBs stays small.
class TScheduleTable {
public:
    explicit TScheduleTable(std::string header);

    // Fresh: 2 columns, 2 rows, the header cell, the current column 1.
    void Reset();
    // Records `label` in the column of daemon step `step`.
    void Record(const std::string& label, int32_t step);

    int32_t ColCount() const { return colCount_; }
    int32_t RowCount() const;
    std::string Cell(int32_t col, int32_t row) const;
    int32_t CurrentCol() const { return currentCol_; }
    int32_t CurrentRow() const { return currentRow_; }
    // Every row, cells joined by tabs, the header row first.
    std::vector<std::string> Lines() const;

private:
    std::string header_;
    int32_t colCount_ = 2;
    int32_t currentCol_ = 1;
    int32_t currentRow_ = 1;
    std::vector<int32_t> headed_;                // columns whose header is set, ascending
    std::vector<std::string> labels_;            // row r is labels_[r - 1]
    std::vector<std::vector<int32_t>> marks_;    // ascending columns per row
    std::unordered_map<std::string, int32_t> rowOf_;
};

// The script part of a host: the runner, the scope object scripts run
// against, and the compiled form of recent scripts.
//
// The simulation generates the same scripts over and over, and most of them
// differ from an earlier one only in the start values they assign after
// "begin" (a counter's value, an input's). Compiling is what a script costs
// most, so a script whose start values are all plain literals (numbers,
// True, False) is compiled once per shape: the text with those values left
// out. The compiled form loads each start value from a constant of its own,
// which is set anew before every run. Any other script is compiled once per
// distinct text.
//
// Not thread-safe: the environment lets one script run at a time; only
// Terminate may come from another thread.
class TSimulationScripts {
public:
    // Compiled shapes and texts kept, each; the least recently used goes.
    static constexpr size_t kCacheSize = 4096;

    explicit TSimulationScripts(TScriptObject* scope);
    ~TSimulationScripts();

    bool EvaluateTransition(const std::string& script);
    void ExecuteAlgorithm(const std::string& script, const std::vector<TFBDataMember*>& outputs,
                          const std::vector<TFBInstance_InternalVar*>& variables);
    void Terminate();

    size_t CompiledScripts() const { return shapes_.Size() + texts_.Size(); }
    size_t Compilations() const { return compilations_; }

private:
    struct TCompiled {
        std::unique_ptr<TScriptCode> Code; // none: the shape cannot take new values
        std::vector<int> Slots;            // the constant of each start value
    };
    class TCache {
    public:
        TCompiled* Find(const std::string& key);
        TCompiled& Add(std::string key, TCompiled compiled);
        size_t Size() const { return index_.size(); }

    private:
        struct TEntry {
            std::string Key;
            TCompiled Compiled;
        };
        std::list<TEntry> lru_; // most recent first
        std::unordered_map<std::string_view, std::list<TEntry>::iterator> index_;
    };

    const TScriptCode& compiled(const std::string& script);
    TVariant run(const TScriptCode& code);

    TScriptObject* scope_;
    std::unique_ptr<TScriptRunner> runner_;
    // Guards runner_ and running_ against Terminate from another thread.
    std::mutex runnerMutex_;
    bool running_ = false;

    TCache shapes_;
    TCache texts_;
    size_t compilations_ = 0;
};

// A host without a window: the log and both tables are data, read by the
// command line and the tests.
class THeadlessSimulationHost final : public TSimulationHost {
public:
    THeadlessSimulationHost();
    ~THeadlessSimulationHost() override;

    void AddLogLine(const std::string& text) override;
    void ShowScheduleEntry(const std::string& fbName, const std::string& eventName, int32_t step) override;
    bool EvaluateTransitionScript(const std::string& script) override;
    void ExecuteAlgorithmScript(const std::string& script, const std::vector<TFBDataMember*>& outputs,
                                const std::vector<TFBInstance_InternalVar*>& variables) override;
    void TerminateScript() override;

    // Both tables to their fresh state (a new run); the log stays.
    void ResetSchedule();

    std::vector<std::string> LogLines() const;
    // Copies, so that a reader never sees a table half-written.
    TScheduleTable EventsTable() const;
    TScheduleTable FBTable() const;
    const TSimulationScripts& Scripts() const { return scripts_; }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> log_;
    TScheduleTable events_{"FB.Event(Algorithm)"};
    TScheduleTable fbs_{"FB Name"};
    TScriptObject scope_{"TSimulationHost"};
    TSimulationScripts scripts_{&scope_};
};

} // namespace telvo
