// What all mail workers of one plug-in stage together, counted in one place
// for all of them: the disk bytes being written and the staging areas kept
// for compose windows. Each worker reserves before it writes or keeps, and
// the reservation is given back when its bytes are written, or its kept
// area removed, or the request fails. Platform-free: the platform layer only
// reads the volume's free space.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "include/mail_request.h"

namespace zobrik {

// The bytes a request writes when it stages its attachments.
uint64_t StagedBytes(const std::vector<MailAttachment>& attachments) noexcept;

// The volume's free and total bytes as the platform reads them.
struct VolumeSpace {
    uint64_t freeBytes = 0;
    uint64_t totalBytes = 0;
};

// Disk bytes that workers have reserved and not yet written. Reading the
// free space and reserving happen under one lock, and a worker gives bytes
// back only once they are written: so every decision sees each byte either
// in the free space or among the reservations, and workers at the same time
// cannot together pass the reserve that DiskReserve keeps free.
class DiskReservations {
public:
    // Reads the free space and reserves `bytes` when it still leaves the
    // reserve free after what others reserved. `readSpace` raises its own
    // error when the space cannot be read.
    bool TryReserve(uint64_t bytes, const std::function<VolumeSpace()>& readSpace);
    void Release(uint64_t bytes) noexcept;
    uint64_t Reserved() const;

private:
    mutable std::mutex mutex_;
    uint64_t reserved_ = 0;
};

// The staging areas kept for compose windows and their bytes, capped by
// kMaxKeptStagingBytes and kMaxKeptStagingAreas.
class KeptAreaAllowance {
public:
    KeptAreaAllowance(uint64_t maxBytes, uint32_t maxAreas) noexcept : maxBytes_(maxBytes), maxAreas_(maxAreas) {}
    KeptAreaAllowance(const KeptAreaAllowance&) = delete;
    KeptAreaAllowance& operator=(const KeptAreaAllowance&) = delete;

    // Counts one more area of `bytes`; false, counting nothing, when that
    // would pass either cap.
    bool TryReserve(uint64_t bytes);
    void Release(uint64_t bytes) noexcept;
    uint64_t Bytes() const;
    uint32_t Areas() const;

private:
    const uint64_t maxBytes_;
    const uint32_t maxAreas_;
    mutable std::mutex mutex_;
    uint64_t bytes_ = 0;
    uint32_t areas_ = 0;
};

// What one request holds of a ledger; gives it back when destroyed.
template <class Ledger>
class LedgerShare {
public:
    LedgerShare() noexcept = default;
    LedgerShare(Ledger& ledger, uint64_t bytes) noexcept : ledger_(&ledger), bytes_(bytes) {}
    LedgerShare(LedgerShare&& other) noexcept : ledger_(other.ledger_), bytes_(other.bytes_) {
        other.ledger_ = nullptr;
        other.bytes_ = 0;
    }
    LedgerShare& operator=(LedgerShare&& other) noexcept {
        if (this != &other) {
            GiveBack();
            ledger_ = other.ledger_;
            bytes_ = other.bytes_;
            other.ledger_ = nullptr;
            other.bytes_ = 0;
        }
        return *this;
    }
    LedgerShare(const LedgerShare&) = delete;
    LedgerShare& operator=(const LedgerShare&) = delete;
    ~LedgerShare() { GiveBack(); }

    void GiveBack() noexcept {
        if (ledger_) {
            ledger_->Release(bytes_);
            ledger_ = nullptr;
            bytes_ = 0;
        }
    }

    // Gives back `bytes` of what it holds (those a worker has written).
    void GiveBackPart(uint64_t bytes) noexcept {
        if (ledger_) {
            const uint64_t part = bytes < bytes_ ? bytes : bytes_;
            ledger_->Release(part);
            bytes_ -= part;
        }
    }

    uint64_t Held() const noexcept { return bytes_; }

private:
    Ledger* ledger_ = nullptr;
    uint64_t bytes_ = 0;
};

using DiskReservation = LedgerShare<DiskReservations>;
using KeptAreaReservation = LedgerShare<KeptAreaAllowance>;

// The reply text of a mail refused by KeptAreaAllowance.
inline constexpr char kTooManyKeptAttachments[] = "too many attachments kept for open compose windows";

// The ledgers of the plug-in's mail workers.
DiskReservations& StagingDiskReservations() noexcept;
KeptAreaAllowance& KeptStagingAllowance() noexcept;

// Reserves the request's bytes on the staging volume, or raises "not enough
// free disk space for the attachments".
DiskReservation ReserveStagingSpace(uint64_t bytes, const std::function<VolumeSpace()>& readSpace);

// Reserves room for keeping the area of a mail with these attachments, or
// raises kTooManyKeptAttachments. A mail without attachments keeps no files
// and reserves nothing.
KeptAreaReservation ReserveKeptArea(const std::vector<MailAttachment>& attachments);

// A kept area with its place in the allowance: the area removes its files
// first, then the place is given back (members go in reverse order).
template <class Area>
struct ReservedArea {
    KeptAreaReservation reservation;
    Area area;
};

}  // namespace zobrik
