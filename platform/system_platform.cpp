// The running system's platform, assembled from the parts its OS folder makes.
#include "platform/system_parts.h"

#include "platform/stop_request.h"

namespace vorlanth::platform {

namespace {

// The platform of the running system, assembled from its parts.
class SystemPlatform final : public Platform {
  public:
    SystemPlatform()
        : clock_(makeSystemClock()),
          sockets_(makeSystemSocketLibrary()),
          files_(makeSystemFileSystem()),
          profile_(makeSystemProfile()) {}

    Clock& clock() override { return *clock_; }
    Result<std::unique_ptr<SerialPort>> openSerialPort(int comPort) override {
        return openSystemSerialPort(comPort);
    }
    std::string serialDeviceName(int comPort) override { return systemSerialDeviceName(comPort); }
    SocketLibrary& sockets() override { return *sockets_; }
    FileSystem& files() override { return *files_; }
    Profile& profile() override { return *profile_; }
    std::string programPath() override { return systemProgramPath(); }
    char pathSeparator() override { return systemPathSeparator(); }
    int stopRequested() override { return stopSignal(); }
    std::unique_ptr<Sha256> startSha256() override { return platform::startSha256(); }

  private:
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<SocketLibrary> sockets_;
    std::unique_ptr<FileSystem> files_;
    std::unique_ptr<Profile> profile_;
};

}  // namespace

std::unique_ptr<Platform> makeSystemPlatform() {
    return std::make_unique<SystemPlatform>();
}

}  // namespace vorlanth::platform
