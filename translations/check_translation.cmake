# Fails when the collected translation file TS_FILE holds an entry without a finished English
# text, naming each such source text.
file(READ ${TS_FILE} ts)
string(REGEX MATCHALL "<source>[^<]*</source>[^<]*<translation type=\"unfinished\"" open_entries
       "${ts}")
string(REGEX MATCHALL "<source>[^<]*</source>[^<]*<translation>[ \t\n]*</translation>" empty_entries
       "${ts}")
set(missing ${open_entries} ${empty_entries})
if(missing)
  set(texts "")
  foreach(entry ${missing})
    string(REGEX REPLACE "<source>([^<]*)</source>.*" "\\1" text "${entry}")
    string(APPEND texts "\n  ${text}")
  endforeach()
  message(FATAL_ERROR
          "Operator texts without an English translation (run the quillmate_lupdate target and "
          "translate them in translations/KV_DESFire_QuillmateEng.ts):${texts}")
endif()
