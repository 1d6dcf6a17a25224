-- Builds an Ardour session with one MIDI track named "Synth" whose instrument
-- is the VST plug-in with the given unique id, on the Dummy backend.
--   ardour7-lua ardour_session.lua FOLDER NAME UNIQUE_ID
-- Prints "ids ROUTE PROCESSOR" (what the session's window state names).
local folder, name, unique_id = arg[1], arg[2], arg[3]

assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no Dummy backend")
AudioEngine:set_sample_rate(44100)
AudioEngine:set_buffer_size(1024)
assert(create_session(folder, name, 44100), "cannot create the session")

local info = ARDOUR.LuaAPI.new_plugin_info(unique_id, ARDOUR.PluginType.LXVST)
assert(not info:isnil(), "the plug-in is not in Ardour's plug-in list")

-- Strict I/O off: with it on, track creation now and then aborts with
-- "Port already exists".
local midi_in = ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1)
local audio_out = ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2)
local tracks = Session:new_midi_track(midi_in, audio_out, false, info, nil, nil, 1, "Synth",
                                      ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false)
local found = false
for track in tracks:iter() do
  local plugin = track:the_instrument()
  assert(not plugin:isnil(), "the track has no instrument")
  print("ids " .. track:to_stateful():id():to_s() .. " " .. plugin:to_stateful():id():to_s())
  found = true
end
assert(found, "no track was created")

Session:save_state("", false, false, false, false, false)
close_session()
print("saved")
