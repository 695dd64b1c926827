// The decisions of attachment staging that do not need the platform: how
// much a request may write, how much free space must stay on the volume,
// how request directories are named and recognised, and which kept staging
// areas are due for removal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "include/mail_request.h"
#include "include/wide_text.h"

namespace zobrik {

// Attachments may share byte ranges of a request, so a small request could
// name gigabytes of attachments. What a request stages may not exceed its
// own length: the attachments' sizes added up must fit the request.
bool AttachmentsFitTheRequest(const std::vector<MailAttachment>& attachments, uint64_t requestLength) noexcept;

// The free space that staging leaves on the temp folder's volume: a tenth
// of the volume, at most 1 GiB. Windows starts warning of low disk space at
// about a tenth, and programs and updates fail when the system volume runs
// full; attachments must never be what brings a volume there.
uint64_t DiskReserve(uint64_t volumeBytes) noexcept;

// Whether writing `bytesToWrite` still leaves the reserve free.
bool LeavesDiskReserve(uint64_t freeBytes, uint64_t volumeBytes, uint64_t bytesToWrite) noexcept;

// A request directory's name: 64 random bits in 16 hex digits, "-zr-" and
// the owning process id in 8 hex digits. The random part makes the name
// unguessable and comes first, so that the 8.3 alias a volume may make of it
// ("0123AB~1") starts with random digits too; the process id lets a later
// start remove what a client that no longer runs left behind.
WideString RequestDirectoryName(uint32_t processId, uint64_t random);

// The owning process id of a name made by RequestDirectoryName, or by older
// versions ("zr-", the process id in 8 hex digits, "-", 16 random hex
// digits); nothing for any other name, which is never ours to remove.
std::optional<uint32_t> RequestDirectoryOwner(WideStringView name) noexcept;

// The security descriptor, in SDDL, of the shared staging directory of the
// user whose SID is `userSid` ("S-1-5-21-..."): owned by that user, full
// access for that user alone, protected from what the temp folder would pass
// on, and passed on to everything created inside.
WideString OwnerOnlySecurityText(WideStringView userSid);

// The content of the "Zone.Identifier" stream that marks a staged file as
// coming from the Internet zone, so that the shell and Office warn before
// opening or running it.
extern const char kInternetZoneIdentifier[];

// Staging areas kept after a hand-over whose compose window may still read
// them, each until its deadline (milliseconds on a monotonic clock).
template <class Area>
class KeptStagingAreas {
public:
    void Add(Area area, uint64_t deadline) { entries_.push_back({std::move(area), deadline}); }

    // Removes and returns the areas whose deadline has come.
    std::vector<Area> TakeDue(uint64_t now) {
        std::vector<Area> due;
        for (auto it = entries_.begin(); it != entries_.end();) {
            if (it->deadline <= now) {
                due.push_back(std::move(it->area));
                it = entries_.erase(it);
            } else {
                ++it;
            }
        }
        return due;
    }

    std::vector<Area> TakeAll() {
        std::vector<Area> all;
        for (auto& entry : entries_) {
            all.push_back(std::move(entry.area));
        }
        entries_.clear();
        return all;
    }

    // The earliest deadline, if any area is kept.
    std::optional<uint64_t> NextDeadline() const noexcept {
        std::optional<uint64_t> next;
        for (const auto& entry : entries_) {
            if (!next || entry.deadline < *next) {
                next = entry.deadline;
            }
        }
        return next;
    }

    bool Empty() const noexcept { return entries_.empty(); }

private:
    struct Entry {
        Area area;
        uint64_t deadline;
    };
    std::vector<Entry> entries_;
};

}  // namespace zobrik
