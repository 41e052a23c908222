-- Wireshark/tshark dissector for the controller's frames on a SocketCAN capture
-- (link type 227): device number, API id, frame kind and every payload field,
-- in the same words as tavrix-decode.
--
--   tshark -X lua_script:tools/wireshark/tavrix.lua -r tavrix-demo.pcap
--   wireshark -X lua_script:tools/wireshark/tavrix.lua tavrix-demo.pcap
-- or copy the file into Wireshark's personal plugins folder.
--
-- The reference is the trace decoder (tools/decode/src/FrameDecoder.cpp, which
-- reads every payload through include/tavrix/Wire.h, and the parameter list in
-- tools/decode/include/tavrix/decode/ParameterList.h). The numbers below are
-- copies of those; tools/ci/extra-tools.sh compares this dissector's
-- `tavrix.fields` with `tavrix-decode --tsv`, frame for frame, so a change on
-- one side that the other lacks fails CI.
--
-- Like the decoder, the dissector tells a request from its reply (and a
-- follower command from its echo) by order: a frame on the same id within one
-- second of the request is the answer. That is decided on the first pass over
-- the capture and kept per frame number.

local bit = bit32

-- ---------------------------------------------------------------------------
-- Protocol numbers (copies of the decoder's)
-- ---------------------------------------------------------------------------

local ID_FAMILY_MASK = 0x1FFF0000
local ID_BASE = 0x02050000          -- device type 2, manufacturer 5
local DEVICE_MASK = 0x3F
local API_SHIFT = 6
local API_MASK = 0x3FF

local API = {
  setpointNeverSet = 0, status0 = 96, status1 = 97, status2 = 98, clearFaults = 110,
  burnFlash = 114, follower = 115, factoryDefaults = 116, heartbeat = 146,
  firmware = 152, setEncoderPosition = 160, setIAccum = 162, parameterBase = 0x300,
}
-- Setpoint API ids by control type 0..6.
local SETPOINT_APIS = { 2, 18, 66, 50, 82, 67, 19 }
local REPLY_WINDOW_US = 1000000
local LEADER_KIND_CONTROLLER = 26
local BURN_FLASH_KEY = 0x3AA3
local AUX_SCALE = 1024.0
local APPLIED_SCALE = 32767.0
local BUS_VOLTAGE_LSB = 1.0 / 128.0
local CURRENT_LSB = 1.0 / 32.0

local TYPE_NAMES = { [0] = "kInt32", [1] = "kUint32", [2] = "kFloat32", [3] = "kBool" }
local T_INT32, T_UINT32, T_FLOAT32, T_BOOL = 0, 1, 2, 3

local FAULT_NAMES = {}
for b = 0, 13 do FAULT_NAMES[b] = "kFaultBit" .. b end
FAULT_NAMES[14] = "kForwardLimitSwitch"
FAULT_NAMES[15] = "kReverseLimitSwitch"

-- Parameter id -> { name, type the library writes }.
local PARAMETERS = {}
local function param(name, id, t) PARAMETERS[id] = { name, t } end
param("kMotorType", 2, T_UINT32)
param("kIdleMode", 6, T_UINT32)
param("kSecondaryCurrentLimit", 11, T_FLOAT32)
param("kSecondaryCurrentLimitArg2", 12, T_UINT32)
for slot, base in pairs({ [0] = 13, [1] = 21, [2] = 29, [3] = 37 }) do
  for i, gain in ipairs({ "kP", "kI", "kD", "kFF", "kIZone", "kDFilter", "kOutputMin", "kOutputMax" }) do
    param(gain .. "_" .. slot, base + i - 1, T_FLOAT32)
  end
end
param("kForwardLimitSwitchPolarity", 50, T_BOOL)
param("kReverseLimitSwitchPolarity", 51, T_BOOL)
param("kForwardLimitSwitchEnabled", 52, T_BOOL)
param("kReverseLimitSwitchEnabled", 53, T_BOOL)
param("kOpenLoopRampRate", 56, T_FLOAT32)
param("kSmartCurrentLimit", 59, T_UINT32)
param("kSmartCurrentLimitArg2", 60, T_UINT32)
param("kSmartCurrentLimitArg3", 61, T_UINT32)
param("kVoltageCompensationMode", 74, T_UINT32)
param("kVoltageCompensationNominalVoltage", 75, T_FLOAT32)
for slot, base in pairs({ [0] = 76, [1] = 81, [2] = 86, [3] = 91 }) do
  for i, motion in ipairs({ "kSmartMotionMaxVelocity", "kSmartMotionMaxAccel",
                            "kSmartMotionMinOutputVelocity", "kSmartMotionAllowedClosedLoopError",
                            "kSmartMotionAccelStrategy" }) do
    param(motion .. "_" .. slot, base + i - 1, T_FLOAT32)
  end
end
for slot = 0, 3 do param("kIMaxAccum_" .. slot, 96 + 4 * slot, T_FLOAT32) end
param("kPositionConversionFactor", 112, T_FLOAT32)
param("kVelocityConversionFactor", 113, T_FLOAT32)
param("kClosedLoopRampRate", 114, T_FLOAT32)

-- ---------------------------------------------------------------------------
-- Fields
-- ---------------------------------------------------------------------------

local proto = Proto("tavrix", "Tavrix motor controller")
local F = {
  device = ProtoField.uint8("tavrix.device", "Device number", base.DEC),
  api = ProtoField.uint16("tavrix.api", "API id", base.DEC),
  kind = ProtoField.string("tavrix.kind", "Frame kind"),
  fields = ProtoField.string("tavrix.fields", "Decoded"),
  value = ProtoField.double("tavrix.value", "Value"),
  aux = ProtoField.int16("tavrix.aux", "Auxiliary word"),
  slot = ProtoField.uint8("tavrix.slot", "PID slot"),
  registry = ProtoField.uint64("tavrix.registry", "Registry word", base.HEX),
  applied = ProtoField.double("tavrix.applied", "Applied output"),
  faults = ProtoField.uint16("tavrix.faults", "Faults", base.HEX),
  sticky = ProtoField.uint16("tavrix.sticky", "Sticky faults", base.HEX),
  follower = ProtoField.bool("tavrix.is_follower", "Is follower"),
  velocity = ProtoField.double("tavrix.velocity", "Velocity"),
  temperature = ProtoField.uint8("tavrix.temperature", "Motor temperature"),
  bus = ProtoField.double("tavrix.bus_voltage", "Bus voltage (V)"),
  current = ProtoField.double("tavrix.current", "Output current (A)"),
  position = ProtoField.double("tavrix.position", "Position"),
  iaccum = ProtoField.double("tavrix.iaccum", "Integral accumulator"),
  period = ProtoField.uint16("tavrix.period", "Status period (ms)"),
  parameter = ProtoField.uint8("tavrix.parameter", "Parameter id"),
  word = ProtoField.uint32("tavrix.word", "Value word", base.HEX),
  vtype = ProtoField.uint8("tavrix.type", "Value type"),
  firmware = ProtoField.uint32("tavrix.firmware", "Firmware version", base.HEX),
  leader = ProtoField.uint32("tavrix.leader", "Leader frame id", base.HEX),
  config = ProtoField.uint32("tavrix.follow_config", "Follow configuration", base.HEX),
}
proto.fields = (function() local list = {} for _, f in pairs(F) do list[#list + 1] = f end return list end)()

local can_id = Field.new("can.id")
local can_xtd = Field.new("can.flags.xtd")
local can_rtr = Field.new("can.flags.rtr")

-- ---------------------------------------------------------------------------
-- Payload reading: eight bytes, missing ones zero (as the decoder pads)
-- ---------------------------------------------------------------------------

local function padded(tvb)
  local n = math.min(tvb:len(), 8)
  local p = {}
  for i = 0, 7 do p[i] = i < n and tvb(i, 1):uint() or 0 end
  return p, n
end
local function u16(p, i) return p[i] + 256 * p[i + 1] end
local function u32(p, i) return p[i] + 256 * p[i + 1] + 65536 * p[i + 2] + 16777216 * p[i + 3] end
local function s16(p, i) local v = u16(p, i) return v >= 32768 and v - 65536 or v end
local function s32(w) return w >= 2147483648 and w - 4294967296 or w end

-- A float32 bit pattern as a number; NaN comes back with its sign as a flag.
local function float_of(bits)
  local sign = bits >= 2147483648 and -1 or 1
  local exp = bit.band(bit.rshift(bits, 23), 0xFF)
  local mant = bit.band(bits, 0x7FFFFF)
  if exp == 0xFF then
    if mant ~= 0 then return 0 / 0, sign < 0 end
    return sign * math.huge
  end
  if exp == 0 then return sign * mant * 2 ^ -149 end
  return sign * (1 + mant / 8388608) * 2 ^ (exp - 127)
end

-- C's %g, with glibc's spelling of NaN and the infinities.
local function g(x, precision, negativeNan)
  if x ~= x then return negativeNan and "-nan" or "nan" end
  if x == math.huge then return "inf" end
  if x == -math.huge then return "-inf" end
  return string.format("%." .. precision .. "g", x)
end
local function g9_float(bits) local v, neg = float_of(bits) return g(v, 9, neg) end

local function length_note(n, expected)
  if n ~= expected then return string.format(" [%d bytes, expected %d]", n, expected) end
  return ""
end

local function fault_word(label, word)
  local out = string.format("%s 0x%04X", label, word)
  if word == 0 then return out end
  local names = {}
  for b = 0, 15 do
    if bit.band(bit.rshift(word, b), 1) ~= 0 then names[#names + 1] = FAULT_NAMES[b] end
  end
  return out .. " (" .. table.concat(names, " ") .. ")"
end

local function typed_value(word, t)
  if t == T_INT32 then return string.format("%d", s32(word)) end
  if t == T_UINT32 then return string.format("%d", word) end
  if t == T_FLOAT32 then return g9_float(word) end
  if t == T_BOOL then
    local out = word ~= 0 and "true" or "false"
    if word > 1 then out = out .. string.format(" (word 0x%08X)", word) end
    return out
  end
  return string.format("word 0x%08X", word)
end

local function type_name(t)
  return TYPE_NAMES[t] or string.format("type %d (unknown)", t)
end

local function parameter_name(id)
  local info = PARAMETERS[id]
  if info then return string.format("%s (id %d)", info[1], id) end
  return string.format("parameter %d (unknown)", id)
end

local function control_type_of(api)
  for t, id in ipairs(SETPOINT_APIS) do
    if id == api then return t - 1 end
  end
  return -1
end

local function is_parameter_api(api) return bit.band(api, API.parameterBase) == API.parameterBase end
local function is_status_api(api) return api >= API.status0 and api <= API.status2 end

-- ---------------------------------------------------------------------------
-- Payload decoders: each returns the decoder's text and adds typed fields
-- ---------------------------------------------------------------------------

local decoders = {}

function decoders.setpoint(p, n, tree, tvb, api)
  local out = ""
  local ct = control_type_of(api)
  if ct >= 0 then out = string.format("kControlType%d ", ct) end
  local bits, aux = u32(p, 0), s16(p, 4)
  out = out .. string.format("value %s aux %d (%s) slot %d", g9_float(bits), aux,
                             g(aux / AUX_SCALE, 9), p[6])
  if n == 8 and p[7] ~= 0 then out = out .. string.format(" byte7 0x%02X", p[7]) end
  tree:add(F.value, (float_of(bits)))
  tree:add(F.aux, aux)
  tree:add(F.slot, p[6])
  return out .. length_note(n, 8)
end
decoders["setpoint (never set)"] = decoders.setpoint

function decoders.heartbeat(p, n, tree)
  local lo, hi = u32(p, 0), u32(p, 4)
  local out = string.format("registry 0x%08X%08X", hi, lo)
  if lo == 0 and hi == 0 then
    out = out .. " (disabled, or no device registered)"
  else
    out = out .. " devices"
    for d = 0, 63 do
      local word, b = d < 32 and lo or hi, d % 32
      if bit.band(bit.rshift(word, b), 1) ~= 0 then out = out .. " " .. d end
    end
  end
  tree:add(F.registry, UInt64.new(lo, hi))
  return out .. length_note(n, 8)
end

decoders["status 0"] = function(p, n, tree)
  local applied = s16(p, 0) / APPLIED_SCALE
  local faults, sticky = u16(p, 2), u16(p, 4)
  local follower = bit.band(bit.rshift(p[6], 5), 1) ~= 0
  local out = string.format("applied %s %s %s follower %s", g(applied, 9),
                            fault_word("faults", faults), fault_word("sticky", sticky),
                            follower and "yes" or "no")
  local bits23, bit4 = bit.band(bit.rshift(p[6], 2), 3), bit.band(bit.rshift(p[6], 4), 1)
  if bits23 ~= 0 or bit4 ~= 0 then
    out = out .. string.format(" byte6[2:3] %d byte6[4] %d", bits23, bit4)
  end
  tree:add(F.applied, applied)
  tree:add(F.faults, faults)
  tree:add(F.sticky, sticky)
  tree:add(F.follower, follower)
  return out .. length_note(n, 8)
end

decoders["status 1"] = function(p, n, tree)
  local bits = u32(p, 0)
  local volts = (p[5] + 256 * bit.band(p[6], 0x0F)) * BUS_VOLTAGE_LSB
  local amps = (bit.rshift(p[6], 4) + 16 * p[7]) * CURRENT_LSB
  tree:add(F.velocity, (float_of(bits)))
  tree:add(F.temperature, p[4])
  tree:add(F.bus, volts)
  tree:add(F.current, amps)
  return string.format("velocity %s temperature %d bus %s V current %s A", g9_float(bits), p[4],
                       g(volts, 7), g(amps, 7)) .. length_note(n, 8)
end

decoders["status 2"] = function(p, n, tree)
  local position, iaccum = u32(p, 0), u32(p, 4)
  tree:add(F.position, (float_of(position)))
  tree:add(F.iaccum, (float_of(iaccum)))
  return string.format("position %s iAccum %s", g9_float(position), g9_float(iaccum)) ..
         length_note(n, 8)
end

decoders["status period"] = function(p, _, tree, _, api)
  tree:add(F.period, u16(p, 0))
  return string.format("status %d period %d ms", api - API.status0, u16(p, 0))
end

local function value_frame(p, tree)
  local word, t = u32(p, 0), p[4]
  tree:add(F.word, word)
  tree:add(F.vtype, t)
  return typed_value(word, t) .. " " .. type_name(t)
end

decoders["parameter write"] = function(p, n, tree, _, api)
  local id = bit.band(api, 0xFF)
  tree:add(F.parameter, id)
  return parameter_name(id) .. " = " .. value_frame(p, tree) .. length_note(n, 5)
end

decoders["parameter request"] = function(_, _, tree, _, api)
  local id = bit.band(api, 0xFF)
  tree:add(F.parameter, id)
  return parameter_name(id)
end

-- Without the type byte the value is shown by the type the library writes.
decoders["parameter reply"] = function(p, n, tree, _, api)
  local id = bit.band(api, 0xFF)
  tree:add(F.parameter, id)
  local out = parameter_name(id) .. " = "
  if n >= 5 then return out .. value_frame(p, tree) end
  local info = PARAMETERS[id]
  tree:add(F.word, u32(p, 0))
  out = out .. typed_value(u32(p, 0), info and info[2] or 0xFF)
  if n < 4 then out = out .. string.format(" [%d bytes, expected at least 4]", n) end
  return out
end

decoders["firmware reply"] = function(p, n, tree)
  local version = p[0] * 16777216 + p[1] * 65536 + p[2] * 256 + p[3]
  tree:add(F.firmware, version)
  local out = string.format("version v%d.%d.%d (0x%08X)%s", p[0], p[1], p[2] * 256 + p[3], version,
                            p[4] ~= 0 and " debug build" or "")
  if n < 5 then out = out .. string.format(" [%d bytes, expected at least 5]", n) end
  return out
end

local function follow(p, n, tree)
  local leader, config = u32(p, 0), u32(p, 4)
  tree:add(F.leader, leader)
  tree:add(F.config, config)
  local out = string.format("leader frame 0x%08X", leader)
  if bit.band(leader, ID_FAMILY_MASK) == ID_BASE then
    out = out .. string.format(" (device %d api 0x%03X)", bit.band(leader, DEVICE_MASK),
                               bit.band(bit.rshift(leader, API_SHIFT), API_MASK))
  end
  local kind = bit.rshift(config, 24)
  out = out .. string.format(" kind %d%s invert %s", kind,
                             kind == LEADER_KIND_CONTROLLER and " (this controller kind)" or "",
                             bit.band(bit.rshift(config, 18), 1) ~= 0 and "yes" or "no")
  return out .. length_note(n, 8)
end
decoders["follower command"] = follow
decoders["follower echo"] = follow

local function value_command(p, n, tree) return "value " .. value_frame(p, tree) .. length_note(n, 5) end
decoders["factory defaults"] = value_command
decoders["set encoder position"] = value_command
decoders["set integral accum"] = value_command

decoders["burn flash"] = function(p, n)
  local ok = n >= 2 and u16(p, 0) == BURN_FLASH_KEY
  return (ok and "key 0x3AA3" or "wrong key (ignored by the controller)") .. length_note(n, 2)
end

decoders["unknown api"] = function(_, _, _, _, api) return string.format("api 0x%03X", api) end

-- ---------------------------------------------------------------------------
-- Classification, with the request/reply state of the first pass
-- ---------------------------------------------------------------------------

local pending = {}     -- arbitration id -> time (us) of the request awaiting an answer
local kind_of = {}     -- frame number -> kind decided on the first pass

function proto.init()
  pending = {}
  kind_of = {}
end

local function take_pending(id, t)
  local since = pending[id]
  if since == nil then return false end
  pending[id] = nil
  return t >= since and t - since <= REPLY_WINDOW_US
end

local SIMPLE_KINDS = {
  [API.clearFaults] = "clear faults", [API.burnFlash] = "burn flash",
  [API.factoryDefaults] = "factory defaults", [API.setEncoderPosition] = "set encoder position",
  [API.setIAccum] = "set integral accum", [API.heartbeat] = "heartbeat",
  [API.setpointNeverSet] = "setpoint (never set)",
}

local function classify(id, api, n, t)
  if control_type_of(api) >= 0 then return "setpoint" end
  if SIMPLE_KINDS[api] then return SIMPLE_KINDS[api] end
  if is_status_api(api) then
    if n == 2 then return "status period" end
    return "status " .. (api - API.status0)
  end
  if is_parameter_api(api) or api == API.firmware then
    local firmware = api == API.firmware
    if n == 0 then
      pending[id] = t
      return firmware and "firmware request" or "parameter request"
    end
    if take_pending(id, t) or firmware then return firmware and "firmware reply" or "parameter reply" end
    return "parameter write"
  end
  if api == API.follower then
    if take_pending(id, t) then return "follower echo" end
    pending[id] = t
    return "follower command"
  end
  return "unknown api"
end

local function micros(ts) return math.floor(ts * 1e6 + 0.5) end

local function dissect(tvb, pinfo, tree)
  local id_field, xtd, rtr = can_id(), can_xtd(), can_rtr()
  if id_field == nil or xtd == nil or not xtd() or (rtr ~= nil and rtr()) then return false end
  local id = id_field()
  if bit.band(id, ID_FAMILY_MASK) ~= ID_BASE then return false end

  local device = bit.band(id, DEVICE_MASK)
  local api = bit.band(bit.rshift(id, API_SHIFT), API_MASK)
  local p, n = padded(tvb)
  if not pinfo.visited then kind_of[pinfo.number] = classify(id, api, n, micros(pinfo.abs_ts)) end
  local kind = kind_of[pinfo.number] or classify(id, api, n, micros(pinfo.abs_ts))

  local subtree = tree:add(proto, tvb(), "Tavrix, device " .. device .. ", " .. kind)
  subtree:add(F.device, device)
  subtree:add(F.api, api)
  subtree:add(F.kind, kind)
  local decode = decoders[kind]
  local text = decode and decode(p, n, subtree, tvb, api) or ""
  subtree:add(F.fields, text)
  pinfo.cols.protocol = "Tavrix"
  pinfo.cols.info = string.format("dev %d %s %s", device, kind, text)
  return true
end

proto:register_heuristic("can", dissect)
