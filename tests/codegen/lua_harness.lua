-- Plays a runtime's part for the Lua form of a basic type: loads the chunk
-- as a runtime with Lua types does (with the whole standard library in
-- reach, so that anything the chunk could run would run), keeps the
-- block's variables by their ids, and calls ECC once per input event.
--
--   lua5.4 lua_harness.lua CHUNK COMMANDS
--
-- COMMANDS, one a line:
--   di INDEX VALUE   set data input INDEX
--   ev INDEX         deliver event input INDEX, then report
-- VALUE: true, false, a number, or s followed by the text's bytes in hex.
--
-- Output, one record a line: "state N" each time the chunk enters a state,
-- "emit K" for each output event, "error TEXT" when ECC raised, and after
-- each event "do I VALUE", "iv I VALUE" and "now N" (the state). A line
-- "violation TEXT" reports what a runtime would not accept.

local DI, DO, IV = 1 << 25, 1 << 26, 1 << 28

local function hex(s)
  return (s:gsub(".", function(c) return string.format("%02x", c:byte()) end))
end

local function unhex(h)
  return (h:gsub("..", function(x) return string.char(tonumber(x, 16)) end))
end

local function show(v)
  if type(v) == "boolean" then return tostring(v) end
  if math.type(v) == "integer" then return string.format("%d", v) end
  if type(v) == "number" then return string.format("%.17g", v) end
  if type(v) == "string" then return "s" .. hex(v) end
  return "?" .. tostring(v)
end

local function violation(text)
  io.write("violation ", text, "\n")
end

local integers = {SINT = true, INT = true, DINT = true, LINT = true, USINT = true, UINT = true, UDINT = true,
                  ULINT = true, BYTE = true, WORD = true, DWORD = true, LWORD = true}

local function default(typeName)
  if typeName == "BOOL" then return false end
  if integers[typeName] then return 0 end
  if typeName == "REAL" or typeName == "LREAL" then return 0.0 end
  if typeName == "STRING" or typeName == "WSTRING" then return "" end
  violation("unknown data type " .. tostring(typeName))
  return nil
end

-- Whether a runtime variable of the type takes the value as it is.
local function fits(typeName, v)
  if typeName == "BOOL" then return type(v) == "boolean" end
  if integers[typeName] then return math.type(v) == "integer" end
  if typeName == "REAL" or typeName == "LREAL" then return math.type(v) == "float" end
  return type(v) == "string"
end

local chunkFile, commandFile = arg[1], arg[2]
local text = assert(io.open(chunkFile, "rb")):read("a")
if text:find("internalFBs", 1, true) then violation("the text reads as a composite type") end
local loaded, message = load(text, "=chunk", "t")
if not loaded then
  io.write("error ", message, "\n")
  return
end
local ok, def = pcall(loaded)
if not ok or type(def) ~= "table" or type(def.ECC) ~= "function" then
  io.write("error the chunk returns no type: ", tostring(def), "\n")
  return
end

local spec, info = def.interfaceSpec, def.internalVarsInformation
local function list(t, key, n)
  local l = t and t[key]
  if type(l) ~= "table" then
    violation("no list " .. key)
    return {}
  end
  if n and #l ~= n then violation(key .. " holds " .. #l .. ", not " .. n) end
  return l
end
local function withLists(names, with, starts, numData)
  for i = 1, #names do
    local s = starts[i]
    if s ~= -1 then
      local k = s + 1
      while with[k] ~= 255 do
        if with[k] == nil or with[k] < 0 or with[k] >= numData then
          violation("a WITH entry outside the data")
          return
        end
        k = k + 1
      end
    end
  end
end
local eiNames = list(spec, "EINames", spec and spec.numEIs)
local eoNames = list(spec, "EONames", spec and spec.numEOs)
local diTypes = list(spec, "DIDataTypeNames", spec and spec.numDIs)
local doTypes = list(spec, "DODataTypeNames", spec and spec.numDOs)
list(spec, "DINames", spec and spec.numDIs)
list(spec, "DONames", spec and spec.numDOs)
list(spec, "adapterInstanceDefinition", spec and spec.numAdapters)
withLists(eiNames, list(spec, "EIWith"), list(spec, "EIWithIndexes", #eiNames), #diTypes)
withLists(eoNames, list(spec, "EOWith"), list(spec, "EOWithIndexes", #eoNames), #doTypes)
local ivTypes = list(info, "intVarsDataTypeNames", info and info.numIntVars)
list(info, "intVarsNames", info and info.numIntVars)

-- The block's variables, by id.
local vars, types = {[0] = 0}, {[0] = "INT"}
local function declare(base, typeList)
  for i, t in ipairs(typeList) do
    vars[base | (i - 1)] = default(t)
    types[base | (i - 1)] = t
  end
end
declare(DI, diTypes)
declare(DO, doTypes)
declare(IV, ivTypes)

local fb = setmetatable({}, {
  __index = function(_, id)
    if types[id] == nil then violation("read of unknown id " .. tostring(id)) end
    return vars[id]
  end,
  __newindex = function(_, id, v)
    if types[id] == nil then
      violation("write of unknown id " .. tostring(id))
      return
    end
    if not fits(types[id], v) then
      violation("id " .. id .. " (" .. types[id] .. ") takes no " .. show(v))
      return
    end
    -- Every state the chunk enters, but not its first step out of "no
    -- event yet" into START.
    if id == 0 and not (vars[0] == 0 and v == 1) then io.write("state ", v, "\n") end
    vars[id] = v
  end,
  __call = function(_, k)
    if math.type(k) ~= "integer" or k < 0 or k >= #eoNames then violation("event output " .. tostring(k)) end
    io.write("emit ", tostring(k), "\n")
  end,
})

for line in assert(io.open(commandFile, "rb")):lines() do
  local command, a, b = line:match("^(%S+) (%S+) ?(%S*)$")
  if command == "di" then
    local i = tonumber(a)
    local t = diTypes[i + 1]
    local v
    if b == "true" or b == "false" then
      v = b == "true"
    elseif b:sub(1, 1) == "s" then
      v = unhex(b:sub(2))
    elseif t == "REAL" or t == "LREAL" then
      v = tonumber(b) + 0.0
    else
      v = math.tointeger(tonumber(b))
    end
    vars[DI | i] = v
  elseif command == "ev" then
    local done, err = pcall(def.ECC, fb, tonumber(a))
    if not done then io.write("error ", tostring(err), "\n") end
    for i = 1, #doTypes do io.write("do ", i - 1, " ", show(vars[DO | (i - 1)]), "\n") end
    for i = 1, #ivTypes do io.write("iv ", i - 1, " ", show(vars[IV | (i - 1)]), "\n") end
    io.write("now ", vars[0], "\n")
  elseif line ~= "" then
    violation("unknown command " .. line)
  end
end
