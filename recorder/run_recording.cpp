#include "recorder/run_recording.h"

#include "recorder/recorder.h"
#include "recorder/stop_signals.h"

#include <QCoreApplication>

namespace tessaly::record {

int RunRecording(const RecordOptions& options, int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Tessaly"));
  StopSignals stopSignals;
  Recorder recorder(options);
  QObject::connect(&recorder, &Recorder::finished, &application, [](int code) { QCoreApplication::exit(code); });
  QObject::connect(&stopSignals, &StopSignals::stopRequested, &recorder, [&recorder] { recorder.Stop(kExitStopped); });
  if (!recorder.Start()) return recorder.Exit();
  return QCoreApplication::exec();
}

}  // namespace tessaly::record
