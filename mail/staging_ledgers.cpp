#include "staging_ledgers.h"

#include "include/request_limits.h"
#include "staging_rules.h"

namespace zobrik {

uint64_t StagedBytes(const std::vector<MailAttachment>& attachments) noexcept {
    uint64_t total = 0;
    for (const MailAttachment& attachment : attachments) {
        total += attachment.size;  // each at most 0x7FFFFFFF, at most 250 of them
    }
    return total;
}

bool DiskReservations::TryReserve(uint64_t bytes, const std::function<VolumeSpace()>& readSpace) {
    std::lock_guard<std::mutex> lock(mutex_);
    const VolumeSpace space = readSpace();
    const uint64_t free = space.freeBytes > reserved_ ? space.freeBytes - reserved_ : 0;
    if (!LeavesDiskReserve(free, space.totalBytes, bytes)) {
        return false;
    }
    reserved_ += bytes;
    return true;
}

void DiskReservations::Release(uint64_t bytes) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    reserved_ -= bytes < reserved_ ? bytes : reserved_;
}

uint64_t DiskReservations::Reserved() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reserved_;
}

bool KeptAreaAllowance::TryReserve(uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (areas_ >= maxAreas_ || bytes > maxBytes_ - bytes_) {
        return false;
    }
    bytes_ += bytes;
    ++areas_;
    return true;
}

void KeptAreaAllowance::Release(uint64_t bytes) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    bytes_ -= bytes < bytes_ ? bytes : bytes_;
    if (areas_ > 0) {
        --areas_;
    }
}

uint64_t KeptAreaAllowance::Bytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}

uint32_t KeptAreaAllowance::Areas() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return areas_;
}

DiskReservations& StagingDiskReservations() noexcept {
    static DiskReservations reservations;
    return reservations;
}

KeptAreaAllowance& KeptStagingAllowance() noexcept {
    static KeptAreaAllowance allowance(kMaxKeptStagingBytes, kMaxKeptStagingAreas);
    return allowance;
}

DiskReservation ReserveStagingSpace(uint64_t bytes, const std::function<VolumeSpace()>& readSpace) {
    DiskReservations& reservations = StagingDiskReservations();
    if (!reservations.TryReserve(bytes, readSpace)) {
        RaiseMailError("not enough free disk space for the attachments");
    }
    return DiskReservation(reservations, bytes);
}

KeptAreaReservation ReserveKeptArea(const std::vector<MailAttachment>& attachments) {
    if (attachments.empty()) {
        return {};
    }
    const uint64_t bytes = StagedBytes(attachments);
    KeptAreaAllowance& allowance = KeptStagingAllowance();
    if (!allowance.TryReserve(bytes)) {
        RaiseMailError(kTooManyKeptAttachments);
    }
    return KeptAreaReservation(allowance, bytes);
}

}  // namespace zobrik
