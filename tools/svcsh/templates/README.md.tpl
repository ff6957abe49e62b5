# {{Name}}

A service library for the services framework, made by `svcsh new-plugin {{Name}}`.

```sh
cmake -S . -B build -DCMAKE_PREFIX_PATH=<framework prefix>
cmake --build build && ctest --test-dir build
svcsh check build/{{Name}}
svcsh --manifest build/{{Name}} -e 'describe {{Name}}Service' -e '{{Name}}Service/greet(name="Ada")'
```

- `src/{{Name}}Service.h`, `.cpp`: the service `{{namespace}}::{{Name}}Service` (id {{Id}}) and its
  feature set; each class names its interface once, in `kInterfaceName`.
- `src/{{Name}}Library.cpp`: the injection entry `Inject{{Name}}`: one line per registered item
  and per member the interpreter reaches, with the description `describe` shows.
- `manifest/{{Name}}.xml.in`: the manifest, written to `build/{{Name}}/{{Name}}.xml` beside the
  library; its version is the project's.
- `tests/{{Name}}Test.cpp`: loads the library through `GetFactory` and drives it by text.
