// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Connection.h"

#include "common/PathText.h"
#include "protocol/LineWatch.h"
#include "serial/Comm.h"

#include <array>
#include <filesystem>

namespace zelbor::cli {

std::string ResolvePort(const std::string& given)
{
    std::error_code ec;
    if (std::filesystem::exists(PathFromText(given), ec))
        return given;
    for (const std::string& port : ListSerialPorts())
        if (PortShownName(port) == given)
            return port;
    return given;
}

void TraceTo(Session& session, Context& c)
{
    if (!c.options.trace)
        return;
    std::ostream& err = c.err;
    session.SetLineTap([&err](LineDirection direction, std::span<const std::uint8_t> bytes) {
        err << MonitorLine(std::chrono::system_clock::now(), direction == LineDirection::Sent, bytes) << std::endl;
    });
}

Connected::Connected(Context& c, const Texts& texts)
    : session_(
          c.options.timeout,
          [&c, &texts](std::uint8_t block, bool written) {
              if (c.progress)
                  c.err << texts.Block(block) << (written ? ": written" : ": read") << std::endl;
          },
          [&texts](std::uint8_t block) { return texts.Block(block); })
{
    TraceTo(session_, c);
    session_.Connect(ResolvePort(*c.options.Value("--port")));
    const ControllerInfo& info = session_.Info();
    const std::array<std::pair<const char*, std::string>, 6> values = {{
        {"manufacturer", Latin1ToUtf8(ManufacturerText(info))},
        {"model", Latin1ToUtf8(ModelText(info))},
        {"hardwareVersion", Latin1ToUtf8(HardwareVersionText(info))},
        {"firmwareVersion", Latin1ToUtf8(FirmwareVersionText(info))},
        {"nominalVoltage", NominalVoltageRowForCode(info.nominalVoltageCode).text},
        {"maximumCurrent", MaxCurrentText(info)},
    }};
    Json j = Json::Object();
    for (const auto& [name, value] : values)
        j.Set(name, value);
    c.report.Set("identification", j);
    const std::array<std::string, 6> captions = {
        texts.Get("CONTROLERINFO", "manufacturer", "Manufacturer:"),
        texts.Get("CONTROLERINFO", "model", "Model:"),
        texts.Get("CONTROLERINFO", "chardware", "Hardware Ver.:"),
        texts.Get("CONTROLERINFO", "firmware", "Firmware Ver.:"),
        texts.Get("CONTROLERINFO", "nomVolt", "Nominal Voltage:"),
        texts.Get("CONTROLERINFO", "maxCurrent", "Max. Current:"),
    };
    for (std::size_t i = 0; i < values.size(); ++i)
        identification_.push_back(captions[i] + " " + Printable(values[i].second));
}

} // namespace zelbor::cli
