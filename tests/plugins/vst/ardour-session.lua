-- KeloRack's two builds in a headless Ardour session on its Dummy back end, for RackArdourTest.
-- ardour7-lua ardour-session.lua create|restore <folder> <name>
--   create: one MIDI track per build with the build as its instrument, then the session saved;
--   restore: the saved session loaded.
-- Either way a note is then played into each track. Prints, per track,
-- "plugin <track>|<the first plug-in's name>" and
-- "peak <track>|<dBFS before the note>|<dBFS after>" (the peak of the track's first audio
-- output), and "closed" at the end; "unmade|<track>" and exit status 3 when Ardour could not
-- make a track.
local mode, folder, name = arg[1], arg[2], arg[3]
local function say(...)
  io.stdout:write(table.concat({ ... }, "|"), "\n")
  io.stdout:flush()
end

AudioEngine:set_backend("None (Dummy)", "", "")
local builds = { { track = "KeloRack", plugin = "KELO Player" },
                 { track = "KeloRack-Multi", plugin = "KELO Player (Multi)" } }
if mode == "create" then
  assert(create_session(folder, name, 48000), "no session")
  for _, build in ipairs(builds) do
    -- As "Add Track" with an instrument does: the plug-in is part of the new track.
    local instrument = ARDOUR.LuaAPI.new_plugin_info(build.plugin, ARDOUR.PluginType.LXVST)
    assert(not instrument:isnil(), "Ardour does not know " .. build.plugin)
    local ok, tracks = pcall(function()
      return Session:new_midi_track(ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1),
        ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2), true, instrument, nil, nil, 1,
        build.track, ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
    end)
    if not (ok and tracks:size() == 1) then
      -- Headless Ardour 7.3 now and then fails to make a track, with its own instruments too
      -- ("Port already exists: <track>/audio_out 1", raised without a message), and leaves a
      -- silent one of that name behind, and closing that session crashes it: the caller
      -- starts a new session.
      say("unmade", build.track)
      os.exit(3)
    end
  end
else
  assert(load_session(folder, name), "no session")
end

-- The highest peak of the first audio channel (the meter lists MIDI channels first) over
-- `cycles` waits of 10 ms.
local function peak(route, cycles)
  local meter = route:peak_meter()
  local highest = -math.huge
  for _ = 1, cycles do
    ARDOUR.LuaAPI.usleep(10000)
    local level = meter:meter_level(meter:input_streams():n_midi(), ARDOUR.MeterType.MeterPeak)
    if level > highest then highest = level end
  end
  return highest
end

-- A note into the track's input, as from a keyboard.
local function play(route)
  local parser = ARDOUR.RawMidiParser()
  local track = route:to_track():to_midi_track()
  for _, byte in ipairs({ 0x90, 60, 100 }) do
    if parser:process_byte(byte) then
      track:write_immediate_event(Evoral.EventType.MIDI_EVENT, parser:buffer_size(),
                                  parser:midi_buffer())
    end
  end
end

for _, build in ipairs(builds) do
  local route = Session:route_by_name(build.track)
  assert(not route:isnil(), "no track " .. build.track)
  local insert = route:nth_plugin(0)
  say("plugin " .. build.track, insert:isnil() and "" or insert:name())
  local before = peak(route, 20)
  -- A new track may join the process graph a little later: the note is played again every
  -- half second for up to five seconds until the track sounds.
  local after = -math.huge
  for _ = 1, 10 do
    play(route)
    after = math.max(after, peak(route, 50))
    if after > -60 then break end
  end
  say("peak " .. build.track, before, after)
end
if mode == "create" then Session:save_state("", false, false, false, false, false) end
close_session()
say("closed")
