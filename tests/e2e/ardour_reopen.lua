-- Opens an Ardour session in a fresh process on the Dummy backend and saves
-- it again, as a user who reopens a project and saves it: Ardour hands each
-- plug-in its stored chunk when loading and asks for it when saving.
--   ardour7-lua ardour_reopen.lua FOLDER NAME
local folder, name = arg[1], arg[2]

assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no Dummy backend")
AudioEngine:set_sample_rate(44100)
AudioEngine:set_buffer_size(1024)
assert(load_session(folder, name), "cannot open the session")
print("opened")
Session:save_state("", false, false, false, false, false)
close_session()
print("saved")
