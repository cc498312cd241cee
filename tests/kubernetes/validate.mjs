// Checks each object of a multi-document YAML stream (standard input) against the API schema
// of its apiVersion and kind, as a server with strict field validation would: an unknown
// kind, a wrong type, a missing required field or a field the schema does not know (a typo
// that a cluster would reject or, worse, silently drop) fails the check.
import { readFileSync } from "node:fs";
import { parseAllDocuments } from "yaml";

// The schemas do not forbid unknown fields, but their validators read every field they
// know: a field no validator read is one the schema does not have.
function unknownFields(object) {
  const read = new WeakMap();
  const track = (value) => {
    if (value === null || typeof value !== "object") return value;
    read.set(value, new Set());
    return new Proxy(value, {
      get(target, key, receiver) {
        if (typeof key === "string") read.get(target).add(key);
        const child = Reflect.get(target, key, receiver);
        return typeof child === "object" && child !== null ? tracked.get(child) : child;
      },
    });
  };
  const tracked = new WeakMap();
  const wrap = (value) => {
    if (value === null || typeof value !== "object") return;
    Object.values(value).forEach(wrap);
    tracked.set(value, track(value));
  };
  wrap(object);
  return { subject: tracked.get(object), unread: () => {
    const found = [];
    const walk = (value, path) => {
      if (value === null || typeof value !== "object") return;
      for (const [key, child] of Object.entries(value)) {
        const here = `${path}/${key}`;
        if (!read.get(value).has(key)) found.push(here);
        else walk(child, here);
      }
    };
    walk(object, "");
    return found;
  } };
}

let failures = 0;
let count = 0;
for (const doc of parseAllDocuments(readFileSync(0, "utf8"))) {
  const object = doc.toJS();
  if (object === null) continue;
  const what = `${object.kind} ${object.metadata?.name}`;
  count++;
  try {
    if (doc.errors.length) throw new Error(doc.errors.join("; "));
    const module = await import(`kubernetes-models/${object.apiVersion}/${object.kind}`);
    const model = module[object.kind];
    const { subject, unread } = unknownFields(object);
    model.prototype.validate.call(subject);
    const unknown = unread();
    if (unknown.length) throw new Error(`unknown field ${unknown.join(", ")}`);
    console.log(`ok   - ${what} (${object.apiVersion})`);
  } catch (error) {
    failures++;
    console.log(`FAIL - ${what}: ${error.message}`);
  }
}
if (count === 0) { console.log("FAIL - no object"); failures++; }
process.exitCode = failures === 0 ? 0 : 1;
