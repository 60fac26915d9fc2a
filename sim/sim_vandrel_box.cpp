#include "sim_vandrel_box.h"

#include "dali/sim_dali_timing.h"
#include "drivers/sim_driver_core.h"
#include "protocol/raw_packet.h"
#include "protocol/usb/usb_vandrel_packet_factory.h"
#include "protocol/usb/vandrel_commands.h"
#include "protocol/usb/vandrel_timing.h"

#include <libusb.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace tarvesk::sim {

namespace {

using namespace proto::vandrel;
using Factory = proto::UsbVandrelPacketFactory;

constexpr int MaxCallLog = 512;
constexpr quint8 FlagFrameError = proto::PACKET_FLAG_FRAME_ERROR;
constexpr quint8 FlagTimeoutEvent = proto::PACKET_FLAG_TIMEOUT_EVENT;
// Byte 3 of an extended DALI request below the length marker: the frame length.
constexpr quint8 DaliLengthBits = DaliLengthMarker - 1;
// Dorvane controllers of older firmware send their words high byte first.
constexpr int SwappedWordsBelowSubversion = 7;
constexpr quint8 BananaBit = 0x01;
// Command byte of a bootloader-class Wystrel frame: code 0 with the sub-command bit.
constexpr quint8 BootloaderClassMask = 0x17;
constexpr quint8 BootloaderClass = 0x10;

QByteArray wystrelFrame(std::initializer_list<quint8> bytes)
{
    QByteArray frame;
    quint8 sum = 0;
    for (quint8 b : bytes) {
        frame.append(char(b));
        sum = quint8(sum + b);
    }
    frame.append(char(sum));
    return frame;
}

// The bootloader probe (row 0x780 of device address 0), the special parameter
// writes of a bootloader start and the start of the application.
const QByteArray ProbeFrame = wystrelFrame({0xD0, 0x18, 0, 0, 0xFE, 0x07, 0x80, 0});
const QByteArray PrimeUnlockFrame = wystrelFrame({0xD0, 0x0E, 0, 0, 0xFE, 0x00, 0xC3, 0});
const QByteArray StartBootloaderFrame = wystrelFrame({0xD0, 0x0E, 0, 0, 0xFE, 0x00, 0xE6, 0});
const QByteArray StartApplicationFrame = wystrelFrame({0xD0, 0x18, 0, 0, 0xFD, 0x01, 0xFF, 0});

bool isBootloaderLineFrame(const QByteArray& frame)
{
    return frame.size() >= 2 && !(quint8(frame.at(0)) & BananaBit)
        && (quint8(frame.at(1)) & BootloaderClassMask) == BootloaderClass;
}

} // namespace

SimVandrelBox::SimVandrelBox(const SimBoxConfig& config)
    : _config(config)
    , _dorvane(config.subversion < SwappedWordsBelowSubversion)
    , _statusBlock(ReportSize - 1, '\0')
{
    _registers.insert(0, config.firmwareVersion);
    _registers.insert(1, config.subversion);
    _registers.insert(3, config.capabilities);
    _registers.insert(6, static_cast<quint16>(config.serial >> 16));
    _registers.insert(7, static_cast<quint16>(config.serial & 0xFFFF));
    if (config.firmwareVersion >= 18)
        _registers.insert(14, config.subversion);
}

SimBoxConfig SimVandrelBox::config() const
{
    Lock locker(_mutex);
    return _config;
}

void SimVandrelBox::fillDescriptor(libusb_device_descriptor* descriptor) const
{
    Lock locker(_mutex);
    std::memset(descriptor, 0, sizeof(*descriptor));
    descriptor->bLength = LIBUSB_DT_DEVICE_SIZE;
    descriptor->bDescriptorType = LIBUSB_DT_DEVICE;
    descriptor->bcdUSB = 0x0200;
    descriptor->bMaxPacketSize0 = 64;
    descriptor->idVendor = _config.vendorId;
    descriptor->idProduct = _config.productId;
    descriptor->bcdDevice = _config.release;
    descriptor->iManufacturer = 1;
    descriptor->iProduct = 2;
    descriptor->iSerialNumber = 3;
    descriptor->bNumConfigurations = 1;
}

QString SimVandrelBox::stringDescriptor(int index) const
{
    Lock locker(_mutex);
    switch (index) {
    case 1:
        return _config.manufacturer;
    case 2:
        return _config.product;
    case 3:
        return _config.serialText.isEmpty() ? QString::number(_config.serial) : _config.serialText;
    default:
        return QString();
    }
}

quint16 SimVandrelBox::registerValue(int address) const
{
    Lock locker(_mutex);
    return _registers.value(address, 0);
}

void SimVandrelBox::setRegister(int address, quint16 value)
{
    Lock locker(_mutex);
    _registers.insert(address, value);
}

SimDorvaneController::Mode SimVandrelBox::dorvaneMode() const
{
    Lock locker(_mutex);
    if (_config.release == NewerRelease)
        return SimDorvaneController::modeFromNumber(_registers.value(DorvaneModeRegister, 0));
    return _dorvane.modeFromRam();
}

bool SimVandrelBox::isDorvaneDriverConnected() const
{
    Lock locker(_mutex);
    if (!SimDorvaneController::isDeviceMode(dorvaneMode()))
        return false;
    for (const auto& model : _models) {
        if (model->isDorvaneDriver())
            return true;
    }
    return false;
}

std::vector<std::shared_ptr<SimBusModel>> SimVandrelBox::modelsOn(SimBusModel::Bus bus) const
{
    std::vector<std::shared_ptr<SimBusModel>> models;
    for (const auto& model : _models) {
        if (model->bus() == bus)
            models.push_back(model);
    }
    return models;
}

void SimVandrelBox::setStatusBlock(const QByteArray& bytes)
{
    Lock locker(_mutex);
    _statusBlock = bytes.left(ReportSize - 1);
    _statusBlock.append(QByteArray(ReportSize - 1 - _statusBlock.size(), '\0'));
}

void SimVandrelBox::addBusModel(std::shared_ptr<SimBusModel> model)
{
    Lock locker(_mutex);
    if (model)
        _models.push_back(std::move(model));
}

int SimVandrelBox::busModelCount() const
{
    Lock locker(_mutex);
    return static_cast<int>(_models.size());
}

int SimVandrelBox::busModelCount(SimBusModel::Bus bus) const
{
    Lock locker(_mutex);
    return static_cast<int>(modelsOn(bus).size());
}

std::shared_ptr<SimBusModel> SimVandrelBox::busModel(SimBusModel::Bus bus, int index) const
{
    Lock locker(_mutex);
    const std::vector<std::shared_ptr<SimBusModel>> models = modelsOn(bus);
    return index >= 0 && index < int(models.size()) ? models[size_t(index)] : nullptr;
}

void SimVandrelBox::pushRecord(quint8 type, quint8 index, quint8 flags, const QByteArray& payload)
{
    Lock locker(_mutex);
    recordLocked(type, index, flags, payload);
}

void SimVandrelBox::recordLocked(quint8 type, quint8 index, quint8 flags, const QByteArray& payload)
{
    const quint16 ticks = _clock.takeRecordTicks();
    if (_faults.takeDropRecord())
        return;
    MonitorRecord record;
    record.type = type;
    record.index = index;
    record.flags = flags;
    record.timeUnits = ticks;
    record.payload = payload;
    const QByteArray bytes = VandrelMonitorStreamEncoder::encodeRecord(record);
    const auto now = std::chrono::steady_clock::now();
    if (_faults.recordDelay() > 0 || !_delayed.empty() || now < _holdRecordsUntil)
        _delayed.push_back({_pollCount + _faults.recordDelay(), bytes, std::max(now, _holdRecordsUntil)});
    else
        _stream.enqueueRaw(bytes);
}

void SimVandrelBox::recordDmxLine()
{
    const auto now = std::chrono::steady_clock::now();
    while (!_dmxLine.empty() && _dmxLine.front().at <= now) {
        const LineRecord record = _dmxLine.front();
        _dmxLine.pop_front();
        recordLocked(Factory::RECORD_DMX, record.index, record.flags, record.payload);
    }
}

void SimVandrelBox::setDmxRecordedAfterLine(bool on)
{
    Lock locker(_mutex);
    _dmxRecordedAfterLine = on;
}

bool SimVandrelBox::hasStreamData() const
{
    Lock locker(_mutex);
    return _stream.hasPendingReplies() || !_delayed.empty() || !_dmxLine.empty();
}

int SimVandrelBox::pollCount() const
{
    Lock locker(_mutex);
    return _pollCount;
}

void SimVandrelBox::editFaults(const std::function<void(SimFaults&)>& edit)
{
    Lock locker(_mutex);
    edit(_faults);
}

void SimVandrelBox::unplug()
{
    Lock locker(_mutex);
    _plugged = false;
}

void SimVandrelBox::replug()
{
    Lock locker(_mutex);
    if (_plugged)
        return;
    _plugged = true;
    ++_plugGeneration;
    // A box that comes back has restarted: nothing half-sent survives.
    _stream = VandrelMonitorStreamEncoder();
    _delayed.clear();
    _dmxLine.clear();
    _dmxContinuationsLeft = 0;
    _daliAnswer.reset();
}

bool SimVandrelBox::isPlugged() const
{
    Lock locker(_mutex);
    return _plugged;
}

int SimVandrelBox::plugGeneration() const
{
    Lock locker(_mutex);
    return _plugGeneration;
}

void SimVandrelBox::setTiming(SimTiming timing)
{
    Lock locker(_mutex);
    _clock.setTiming(timing);
}

SimBusStats SimVandrelBox::busStats() const
{
    Lock locker(_mutex);
    return _clock.stats();
}

qint64 SimVandrelBox::busTimeUs() const
{
    Lock locker(_mutex);
    return _clock.nowUs();
}

int SimVandrelBox::callCount(SimCall call) const
{
    Lock locker(_mutex);
    return _callCounts[static_cast<int>(call)];
}

QStringList SimVandrelBox::callLog() const
{
    Lock locker(_mutex);
    return _callLog;
}

void SimVandrelBox::clearCallLog()
{
    Lock locker(_mutex);
    _callLog.clear();
    _callCounts.fill(0);
}

int SimVandrelBox::beginCall(SimCall call, const QString& detail)
{
    Lock locker(_mutex);
    ++_callCounts[static_cast<int>(call)];
    _callLog.append(detail.isEmpty() ? simCallName(call) : simCallName(call) + QLatin1Char(' ') + detail);
    if (_callLog.size() > MaxCallLog)
        _callLog.removeFirst();
    return _faults.takeCallError(call);
}

int SimVandrelBox::takePollError()
{
    Lock locker(_mutex);
    const int error = _faults.takePollError();
    if (error != 0)
        ++_failedPolls;
    return error;
}

int SimVandrelBox::failedPollCount() const
{
    Lock locker(_mutex);
    return _failedPolls;
}

int SimVandrelBox::takeCallDelay(SimCall call)
{
    Lock locker(_mutex);
    return _faults.takeCallDelay(call);
}

int SimVandrelBox::takeShortReply()
{
    Lock locker(_mutex);
    return _faults.takeShortReply();
}

void SimVandrelBox::exchange(const unsigned char* request, int length, unsigned char* reply)
{
    Lock locker(_mutex);
    unsigned char report[ReportSize] = {};
    std::memcpy(report, request, static_cast<size_t>(qBound(0, length, ReportSize)));
    std::memset(reply, 0, ReportSize);
    answerLocked(report, reply);
    if (report[0] != VD_CMD_POLL_MONITOR) {
        const int holdMs
            = _faults.pollHoldBackAfter(QByteArray(reinterpret_cast<const char*>(report), ReportSize));
        if (holdMs > 0)
            _pollHoldBackMs = holdMs;
    }
}

int SimVandrelBox::takePollHoldBack()
{
    Lock locker(_mutex);
    return std::exchange(_pollHoldBackMs, 0);
}

void SimVandrelBox::answerLocked(const unsigned char* request, unsigned char* reply)
{
    const quint8 command = request[0];
    reply[0] = ReplyBit | (command & CommandMask);
    quint8 byte1 = 0;
    if (command != VD_CMD_POLL_MONITOR && _faults.takeNotReady(command, &byte1)) {
        reply[0] |= NotReadyBit;
        reply[1] = byte1;
        return;
    }
    if (command != VD_CMD_POLL_MONITOR && _faults.takeUnsupported(command)) {
        reply[0] |= UnsupportedBit;
        return;
    }
    switch (command) {
    case VD_CMD_GET_PARAMETER:
    case VD_CMD_SET_PARAMETER: {
        const int address = (request[1] << 8) | request[2];
        if (command == VD_CMD_SET_PARAMETER)
            _registers.insert(address, static_cast<quint16>((request[3] << 8) | request[4]));
        quint16 value = _registers.value(address, 0);
        if (address == StatusRegister) {
            value = static_cast<quint16>(value & ~DorvaneNotConnected);
            if (!isDorvaneDriverConnected())
                value |= DorvaneNotConnected;
        }
        reply[1] = request[1];
        reply[2] = request[2];
        reply[3] = static_cast<unsigned char>(value >> 8);
        reply[4] = static_cast<unsigned char>(value & 0xFF);
        return;
    }
    case VD_CMD_BOX_PARAMETER:
        answerParameter(request, reply);
        return;
    case VD_CMD_STATUS_BLOCK:
        reply[0] = ReplyBit | command;
        std::memcpy(reply + 1, _statusBlock.constData(), ReportSize - 1);
        return;
    case VD_CMD_POLL_MONITOR:
        if (hasMonitor()) {
            answerPoll(reply);
            return;
        }
        break;
    case VD_CMD_DALI:
        if (!daliSupplyPresent()) {
            reply[0] |= NotReadyBit;
            reply[1] = DaliNoSupply;
            return;
        }
        answerDali(request);
        return;
    case VD_CMD_DALI_STATUS:
        // Either an answer waits to be fetched or there is nothing more to wait for.
        reply[1] = _daliAnswer ? DaliStatusDataReady : DaliStatusDone;
        reply[2] = DaliProgressDone;
        return;
    case VD_CMD_DALI_GET_DATA:
        if (_daliAnswer) {
            reply[3] = *_daliAnswer;
            reply[4] = static_cast<unsigned char>(qMin<int>(_daliAnswerTicks, 0xFF));
            _daliAnswer.reset();
        }
        return;
    case VD_CMD_DATA:
        if (hasMonitor()) {
            answerDmx(request, reply);
            return;
        }
        break;
    case VD_CMD_LEGACY_DMX:
        answerLegacyDmx(request, reply);
        return;
    case VD_CMD_BOOTLOADER:
        if (_config.firmwareVersion >= BootloaderSpamFirmware) {
            answerBootloader(request, reply);
            return;
        }
        break;
    default:
        break;
    }
    reply[0] |= UnsupportedBit;
}

// The box parameter report reaches the parameter space of the driver on the
// Dorvane port; without one that answers, the box reports a time-out.
void SimVandrelBox::answerParameter(const unsigned char* request, unsigned char* reply)
{
    const quint16 number = static_cast<quint16>((request[7] << 8) | request[8]);
    reply[1] = request[1];
    reply[6] = BoxParameterTimeout;
    if (!SimDorvaneController::isDeviceMode(dorvaneMode()))
        return;
    for (const auto& model : _models) {
        if (!model->isDorvaneDriver())
            continue;
        quint16 value = 0;
        const bool done = request[1] == BoxParameterSet
            ? model->writeDorvaneParameter(number, static_cast<quint16>((request[9] << 8) | request[10]))
                && model->readDorvaneParameter(number, value)
            : model->readDorvaneParameter(number, value);
        if (!done)
            return;
        reply[6] = BoxParameterOk;
        reply[7] = static_cast<unsigned char>(value >> 8);
        reply[8] = static_cast<unsigned char>(value & 0xFF);
        return;
    }
}

void SimVandrelBox::answerPoll(unsigned char* reply)
{
    ++_pollCount;
    if (hasMonitor()) {
        for (const auto& model : modelsOn(SimBusModel::Dali)) {
            for (const QByteArray& frame : model->daliTraffic())
                heardDaliFrame(frame);
        }
    }
    recordDmxLine();
    while (!_delayed.empty() && _delayed.front().readyAtPoll <= _pollCount
        && _delayed.front().readyAt <= std::chrono::steady_clock::now()) {
        _stream.enqueueRaw(_delayed.front().bytes);
        _delayed.pop_front();
    }
    QByteArray next = _stream.nextReply();
    // Byte 1 asks the host to poll again at once or ends its pass.
    if (_faults.endlessPass())
        next[1] = PollMoreData;
    else if (_faults.splitPasses() && next.at(1) == PollMoreData)
        next[1] = VandrelMonitorStreamEncoder::LastOfBurst;
    std::memcpy(reply, next.constData(), ReportSize);
}

bool SimVandrelBox::daliSupplyPresent() const
{
    for (const auto& model : _models) {
        if (model->bus() == SimBusModel::Dali && !model->hasDaliSupply())
            return false;
    }
    return true;
}

SimDaliAnswer SimVandrelBox::putDaliFrame(const QByteArray& frame)
{
    _clock.frame(SimBusModel::Dali, _daliLine.forward(frame.size()));
    SimDaliAnswer result;
    int answers = 0;
    for (const auto& model : _models) {
        if (model->bus() != SimBusModel::Dali)
            continue;
        const SimDaliAnswer answer = model->daliFrame(frame);
        if (answer.kind == SimDaliAnswer::None)
            continue;
        // A late answer counts only when nobody answered in time.
        if (answer.kind == SimDaliAnswer::Late) {
            if (answers == 0)
                result = answer;
            continue;
        }
        ++answers;
        result = answer;
    }
    // Two backward frames on the wire at once cannot be told apart.
    if (answers > 1)
        result = SimDaliAnswer::collision();
    return result;
}

void SimVandrelBox::heardDaliFrame(const QByteArray& frame)
{
    // Another master's frame: on the bus and in the record stream like the
    // box's own, with whatever the gear answered to it.
    const SimDaliAnswer answer = putDaliFrame(frame);
    recordLocked(Factory::RECORD_DALI, _nextIndex++, 0, frame);
    if (answer.kind == SimDaliAnswer::Answer)
        recordLocked(Factory::RECORD_DALI, _nextIndex++, 0, QByteArray(1, char(answer.value)));
    else if (answer.kind == SimDaliAnswer::Collision)
        recordLocked(Factory::RECORD_DALI, _nextIndex++, FlagFrameError, QByteArray());
}

void SimVandrelBox::answerDali(const unsigned char* request)
{
    QByteArray frame;
    bool expectAnswer = false;
    const bool twice = (request[1] & DaliSendTwice) != 0;
    if (request[1] & DaliExtended) {
        const int length = qMin(request[3] & DaliLengthBits, DaliExtendedMaxFrame);
        frame = QByteArray(reinterpret_cast<const char*>(request + 4), length);
        expectAnswer = (request[3] & DaliExpectAnswer) != 0;
    } else if (request[1] & DaliFullBitbang) {
        // Raw bit patterns are not modelled: the bus stays silent.
        return;
    } else {
        frame = QByteArray(reinterpret_cast<const char*>(request + 2), 2);
    }

    if (hasMonitor()) {
        for (const auto& model : modelsOn(SimBusModel::Dali)) {
            for (const QByteArray& ahead : model->daliTrafficAhead(frame))
                heardDaliFrame(ahead);
        }
    }
    SimDaliAnswer answer;
    for (int copy = 0; copy < (twice ? 2 : 1); ++copy) {
        answer = putDaliFrame(frame);
        if (hasMonitor())
            recordLocked(Factory::RECORD_DALI, _nextIndex++, 0, frame);
    }
    if (answer.kind != SimDaliAnswer::None)
        _clock.frame(SimBusModel::Dali, _daliLine.backward(answer.kind == SimDaliAnswer::Late));
    else
        _daliLine.unanswered();
    if (!hasMonitor()) {
        _daliAnswer.reset();
        if (answer.kind == SimDaliAnswer::Answer) {
            _daliAnswer = answer.value;
            _daliAnswerTicks
                = static_cast<quint16>((SimDaliTiming::BackwardDelayUs + SimDaliTiming::backwardFrameUs())
                    / SimBusClock::RecordTickUs);
        }
        return;
    }
    switch (answer.kind) {
    case SimDaliAnswer::Answer:
        if (answer.reportAfterMs > 0)
            _holdRecordsUntil
                = std::chrono::steady_clock::now() + std::chrono::milliseconds(answer.reportAfterMs);
        recordLocked(Factory::RECORD_DALI, _nextIndex++, 0, QByteArray(1, char(answer.value)));
        break;
    case SimDaliAnswer::Collision:
        recordLocked(Factory::RECORD_DALI, _nextIndex++, FlagFrameError, QByteArray());
        break;
    case SimDaliAnswer::None:
        if (expectAnswer && _config.firmwareVersion >= TimeoutEventFirmware)
            recordLocked(Factory::RECORD_DALI, _nextIndex++, FlagTimeoutEvent, QByteArray());
        break;
    case SimDaliAnswer::Late:
        // The box gives up on the answer window, then hears the frame anyway:
        // a stray record that belongs to no request.
        if (expectAnswer && _config.firmwareVersion >= TimeoutEventFirmware)
            recordLocked(Factory::RECORD_DALI, _nextIndex++, FlagTimeoutEvent, QByteArray());
        recordLocked(Factory::RECORD_DALI, _nextIndex++, 0, QByteArray(1, char(answer.value)));
        break;
    }
    for (const auto& model : modelsOn(SimBusModel::Dali)) {
        for (const QByteArray& after : model->daliTrafficAfter(frame))
            heardDaliFrame(after);
    }
}

std::optional<QByteArray> SimVandrelBox::putDmxFrame(const QByteArray& frame, double breakUs, bool* collided)
{
    _clock.frame(SimBusModel::Dmx, SimBusClock::dmxFrameUs(frame.size(), breakUs));
    std::optional<QByteArray> result;
    int answers = 0;
    for (const auto& model : _models) {
        if (model->bus() != SimBusModel::Dmx)
            continue;
        std::optional<QByteArray> answer = model->dmxFrame(frame);
        if (!answer)
            continue;
        ++answers;
        result = std::move(answer);
    }
    *collided = answers > 1;
    return result;
}

void SimVandrelBox::answerDmx(const unsigned char* request, unsigned char* reply)
{
    if (request[1] & DmxFirstReport) {
        // First report of a frame; a chain left unfinished is dropped.
        _dmxContinuationsLeft = request[1] & ~DmxFirstReport;
        _dmxNextContinuation = 1;
        _dmxIndex = _nextIndex;
        _nextIndex = static_cast<quint8>(_nextIndex + 2);
        const int breakValue = request[2];
        _dmxBreakUs = breakValue == 0 ? SimBusClock::DmxDefaultBreakUs
                                      : proto::vandrelValueToTime(proto::VandrelTimeKind::BreakTime,
                                          breakValue, _config.firmwareVersion);
        _dmxExpectAnswer = (request[5] & DmxExpectAnswer) != 0;
        _dmxInternal = (request[5] & DmxInternal) != 0;
        const int count = qMin<int>(request[7], 56);
        _dmxFrame = QByteArray(reinterpret_cast<const char*>(request + 8), count);
        reply[1] = _dmxIndex;
    } else {
        reply[1] = request[1];
        if (_dmxContinuationsLeft <= 0 || request[1] != _dmxNextContinuation) {
            // A continuation out of order: the frame cannot be put together.
            _dmxContinuationsLeft = 0;
            reply[0] |= UnsupportedBit;
            return;
        }
        const int count = qMin<int>(request[3], 60);
        _dmxFrame.append(reinterpret_cast<const char*>(request + 4), count);
        --_dmxContinuationsLeft;
        ++_dmxNextContinuation;
    }
    if (_dmxContinuationsLeft == 0)
        finishDmxFrame();
}

std::optional<QByteArray> SimVandrelBox::dorvaneDriverFrame(const QByteArray& frame)
{
    if (!isDorvaneDriverConnected())
        return std::nullopt;
    // The driver's link is timed as a DMX frame of the same length, each way.
    _clock.frame(SimBusModel::Dmx, SimBusClock::dmxFrameUs(frame.size()));
    for (const auto& model : modelsOn(SimBusModel::Dorvane)) {
        if (!model->isDorvaneDriver())
            continue;
        std::optional<QByteArray> answer = model->dorvaneWystrelFrame(frame);
        if (answer)
            _clock.frame(SimBusModel::Dmx, SimBusClock::dmxFrameUs(answer->size()));
        return answer;
    }
    return std::nullopt;
}

// An internal frame is for the box's own Dorvane controller; one in banana
// mode (bit 0 of its start code set) is a Wystrel frame for the driver on the
// Dorvane port, taken once that bit is cleared.
std::optional<QByteArray> SimVandrelBox::internalFrame(QByteArray frame)
{
    if (frame.isEmpty())
        return std::nullopt;
    if (quint8(frame.at(0)) & BananaBit) {
        frame[0] = char(quint8(frame.at(0)) & ~BananaBit);
        return dorvaneDriverFrame(frame);
    }
    return _dorvane.frame(frame, dorvaneMode(), modelsOn(SimBusModel::Dorvane));
}

void SimVandrelBox::takeUnplugRequests()
{
    for (const auto& model : _models) {
        if (model->takeUnplugRequest())
            _plugged = false;
    }
}

// The box's bootloader functions act on the driver on its Dorvane port; its
// stop function reaches the DMX line as well.
void SimVandrelBox::answerBootloader(const unsigned char* request, unsigned char* reply)
{
    const bool functions = _config.firmwareVersion >= BootloaderFunctionsFirmware;
    const int units = (request[2] << 8) | request[3];
    reply[1] = request[1];
    switch (request[1]) {
    case BootloaderStart:
    case BootloaderSpam:
        if (request[1] == BootloaderStart) {
            if (!functions)
                break;
            if (dorvaneDriverFrame(PrimeUnlockFrame))
                dorvaneDriverFrame(StartBootloaderFrame);
        }
        _bootloaderWait = BootloaderWait();
        _bootloaderWait.state = BootloaderWaitRunning;
        _bootloaderWait.functions = functions;
        _bootloaderWait.budgetMs = units * (functions ? BootloaderFunctionUnitMs : LegacySpamUnitMs);
        return;
    case BootloaderStop: {
        if (!functions)
            break;
        // The start-application frame carries no address: every driver
        // waiting in its bootloader, on the Dorvane port or on the DMX line,
        // starts its application.
        dorvaneDriverFrame(StartApplicationFrame);
        bool collided = false;
        putDmxFrame(StartApplicationFrame, SimBusClock::DmxDefaultBreakUs, &collided);
        _bootloaderWait = BootloaderWait();
        return;
    }
    case BootloaderStatus: {
        pollBootloaderWait();
        const BootloaderWait& wait = _bootloaderWait;
        reply[2] = _faults.bootloaderWaitStuck() ? quint8(BootloaderWaitRunning) : quint8(wait.state);
        reply[5] = quint8(wait.count >> 8);
        reply[6] = quint8(wait.count & 0xFF);
        reply[11] = wait.entered ? 1 : 0;
        return;
    }
    default:
        break;
    }
    reply[0] |= UnsupportedBit;
}

void SimVandrelBox::pollBootloaderWait()
{
    BootloaderWait& wait = _bootloaderWait;
    if (wait.state != BootloaderWaitRunning || _faults.bootloaderWaitStuck())
        return;
    const std::optional<QByteArray> answer = dorvaneDriverFrame(ProbeFrame);
    constexpr quint8 ErrorBit = 0x40;
    if (answer && simWystrelChecksumValid(*answer) && answer->size() > 1
        && !(quint8(answer->at(1)) & ErrorBit)) {
        wait.state = BootloaderWaitAnswered;
        wait.entered = true;
        wait.count = quint16(qMin(0xFFFF, wait.functions ? wait.spentMs : wait.spentMs / LegacySpamUnitMs));
        return;
    }
    wait.spentMs += BootloaderProbeMs;
    if (wait.spentMs >= wait.budgetMs)
        wait.state = BootloaderWaitTimedOut;
}

void SimVandrelBox::finishDmxFrame()
{
    bool collided = false;
    // Bootloader frames marked internal still go out on the line: the box's
    // Dorvane controller takes only its own READ, WRITE and SPI frames.
    const bool internal = _dmxInternal && !isBootloaderLineFrame(_dmxFrame);
    const std::optional<QByteArray> answer
        = internal ? internalFrame(_dmxFrame) : putDmxFrame(_dmxFrame, _dmxBreakUs, &collided);
    // On the line the frame is recorded once carried, and its answer after it.
    const bool onLine = _dmxRecordedAfterLine && !internal;
    if (onLine) {
        const auto lineTime = std::chrono::microseconds(
            qint64(SimBusClock::dmxFrameUs(_dmxFrame.size(), _dmxBreakUs)));
        _dmxLineFreeAt = std::max(std::chrono::steady_clock::now(), _dmxLineFreeAt) + lineTime;
    }
    const auto record = [this, onLine](quint8 index, quint8 flags, const QByteArray& payload) {
        if (onLine)
            _dmxLine.push_back({_dmxLineFreeAt, index, flags, payload});
        else
            recordLocked(Factory::RECORD_DMX, index, flags, payload);
    };
    record(_dmxIndex, 0, _dmxFrame);
    if (answer)
        _clock.frame(SimBusModel::Dmx, SimBusClock::dmxFrameUs(answer->size()));
    const quint8 answerIndex = static_cast<quint8>(_dmxIndex + 1);
    if (collided)
        record(answerIndex, FlagFrameError, QByteArray());
    else if (answer)
        record(answerIndex, 0, *answer);
    else if (_dmxExpectAnswer && _config.firmwareVersion >= TimeoutEventFirmware)
        record(answerIndex, FlagTimeoutEvent, QByteArray());
    _dmxFrame.clear();
    takeUnplugRequests();
}

void SimVandrelBox::answerLegacyDmx(const unsigned char* request, unsigned char* reply)
{
    const int count = qMin<int>(request[1], 60);
    bool collided = false;
    const std::optional<QByteArray> answer
        = putDmxFrame(QByteArray(reinterpret_cast<const char*>(request + 2), count),
            SimBusClock::DmxDefaultBreakUs, &collided);
    takeUnplugRequests();
    if (!answer || collided)
        return;
    _clock.frame(SimBusModel::Dmx, SimBusClock::dmxFrameUs(answer->size()));
    const int length = qMin<int>(answer->size(), ReportSize - 3);
    reply[2] = static_cast<unsigned char>(length);
    std::memcpy(reply + 3, answer->constData(), static_cast<size_t>(length));
}

} // namespace tarvesk::sim
