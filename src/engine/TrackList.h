#pragma once

#include <QUrl>
#include <QVector>

#include <cstdint>
#include <memory>
#include <vector>

class MusicFilter;

// An entry of the track list; its index is the track's number everywhere.
struct TrackRecord {
    QUrl audioURL;                             // the source file
    std::shared_ptr<MusicFilter> audioFilter;  // the track object
    QVector<float> audioFloatData;             // the waveform values
};

// The composition's tracks in lane order. Main thread only.
//
// Indices come from menus, undo records and views that may outlive the
// track they named, so every lookup by index goes through `recordAt` or
// `filterAt`, which answer null for an index that is out of range.
class TrackList {
public:
    using Records = std::vector<TrackRecord>;

    uint64_t size() const { return records_.size(); }
    bool empty() const { return records_.empty(); }
    bool contains(uint64_t index) const { return index < records_.size(); }

    TrackRecord* recordAt(uint64_t index) { return contains(index) ? &records_[index] : nullptr; }
    const TrackRecord* recordAt(uint64_t index) const {
        return contains(index) ? &records_[index] : nullptr;
    }
    MusicFilter* filterAt(uint64_t index) const {
        const TrackRecord* r = recordAt(index);
        return r ? r->audioFilter.get() : nullptr;
    }
    // The index of the track whose object is `filter`; size() when none.
    uint64_t indexOf(const MusicFilter* filter) const {
        for (uint64_t i = 0; i < records_.size(); ++i)
            if (records_[i].audioFilter.get() == filter) return i;
        return records_.size();
    }

    // Unchecked access for loops over [0, size()).
    TrackRecord& operator[](uint64_t index) { return records_[index]; }
    const TrackRecord& operator[](uint64_t index) const { return records_[index]; }
    TrackRecord& front() { return records_.front(); }
    TrackRecord& back() { return records_.back(); }
    const TrackRecord& front() const { return records_.front(); }
    const TrackRecord& back() const { return records_.back(); }
    Records::iterator begin() { return records_.begin(); }
    Records::iterator end() { return records_.end(); }
    Records::const_iterator begin() const { return records_.begin(); }
    Records::const_iterator end() const { return records_.end(); }

    void push_back(TrackRecord record) { records_.push_back(std::move(record)); }
    // Inserts at `index`, or appends when it lies past the end.
    void insert(uint64_t index, TrackRecord record) {
        if (index > records_.size()) index = records_.size();
        records_.insert(records_.begin() + std::ptrdiff_t(index), std::move(record));
    }
    // Removes the record at `index`; false when there is none.
    bool erase(uint64_t index) {
        if (!contains(index)) return false;
        records_.erase(records_.begin() + std::ptrdiff_t(index));
        return true;
    }
    void clear() { records_.clear(); }
    void assign(Records records) { records_ = std::move(records); }
    const Records& records() const { return records_; }

private:
    Records records_;
};
