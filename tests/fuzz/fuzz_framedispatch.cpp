// Standard input as the browser writes it: the bytes go through the real
// frame reader, and every message it decodes through the real dispatcher.
// Methods that open the document window are left out: the window would wait
// for a page that is not there.
#include "fuzzsupport.h"

#include "appexception.h"
#include "nativemessaginghost.h"
#include "pagedispatcher.h"
#include "quillmarkversion.h"
#include "readthread.h"

#include <QJsonObject>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Runs the reader's loop on the calling thread, over a descriptor that ends.
class FrameReader : public ReadThread
{
public:
    using ReadThread::ReadThread;
    using ReadThread::run;
};

NativeMessagingHost &host()
{
    static int argc = 1;
    static char name[] = "quillmark";
    static char *argv[] = {name, nullptr};
    // The host's own reader waits on a pipe that never delivers; its writer
    // drains into /dev/null.
    static int idle[2];
    static const bool piped = ::pipe(idle) == 0;
    // Never destroyed: the process ends with the fuzzer, and Qt's platform
    // plugin does not free its screens on the way out.
    static NativeMessagingHost *instance = new NativeMessagingHost(
        argc, argv, QuillmarkVersion::component, QuillmarkVersion::defaultPlatform,
        piped ? idle[0] : -1, ::open("/dev/null", O_WRONLY));
    return *instance;
}

bool opensWindow(const QJsonObject &message)
{
    const QString method = message.value(QLatin1String("method")).toString();
    return method.endsWith(QLatin1String(".SignDocument"))
           || method.endsWith(QLatin1String(".ViewDocument"));
}

int descriptorWith(const uint8_t *data, size_t size)
{
    const int descriptor = ::memfd_create("frames", 0);
    size_t written = 0;
    while (descriptor >= 0 && written < size) {
        const ssize_t count = ::write(descriptor, data + written, size - written);
        if (count <= 0)
            break;
        written += static_cast<size_t>(count);
    }
    ::lseek(descriptor, 0, SEEK_SET);
    return descriptor;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    FuzzSupport::initialise();
    PageDispatcher &dispatcher = host().dispatcher();

    const int descriptor = descriptorWith(data, size);
    {
        FrameReader reader(descriptor);
        QObject::connect(
            &reader, &ReadThread::messageRead, &dispatcher,
            [&dispatcher](const QJsonObject &message) {
                if (opensWindow(message))
                    return;
                try {
                    dispatcher.dispatch(message);
                } catch (const AppException &) {
                }
            },
            Qt::DirectConnection);
        reader.run();
    }
    ::close(descriptor);
    QCoreApplication::sendPostedEvents();
    return 0;
}
