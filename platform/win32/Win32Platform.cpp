#include "platform/win32/Win32Platform.h"

#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Volumes.h"

namespace kivra::platform {

class Win32Platform::Impl {
public:
    win32::Win32Files files;
    win32::Win32Volumes volumes;
    win32::Win32Clock clock;
};

Win32Platform::Win32Platform() : impl_(std::make_unique<Impl>()) {}
Win32Platform::~Win32Platform() = default;

Platform Win32Platform::Interfaces() const { return Platform{&impl_->files, &impl_->volumes, &impl_->clock}; }

} // namespace kivra::platform
