// The OPC UA server that the OPC tests, the command-line tests and the
// benchmark talk to. Loopback only, security None, anonymous sign-in.
//
//   node server.js PORT [--discovery | --register DISCOVERY_URL]
//
// Prints "READY <port>" once it listens. Reads commands from standard input,
// one a line, and answers each on standard output:
//   get NAME          -> "VALUE NAME <value>"   (NAME as in ns=1;s=NAME)
//   set NAME VALUE    -> "OK NAME"
//   quit              -> stops the server and exits
// It exits as well when standard input closes, so a test that dies never
// leaves a server behind.
//
// Nothing of it is reachable from outside this computer: `hostname` only
// names the endpoint in the URLs the server hands out; `host` is the address
// it binds.
"use strict";

const readline = require("readline");
const opcua = require("node-opcua");

const loopback = "127.0.0.1";

const port = parseInt(process.argv[2] || "0", 10);
const discovery = process.argv.includes("--discovery");
const registerAt = process.argv.includes("--register") ? process.argv[process.argv.indexOf("--register") + 1] : null;

const values = {};
const types = {};

function addVar(namespace, parent, name, browseName, dataType, initial, writable) {
    values[name] = initial;
    types[name] = dataType;
    const options = {
        componentOf: parent,
        browseName,
        nodeId: "s=" + name,
        dataType,
        minimumSamplingInterval: 100,
        value: {
            get: () => new opcua.Variant({ dataType: opcua.DataType[dataType], value: values[name] }),
        },
    };
    if (writable) {
        options.value.set = (variant) => {
            values[name] = variant.value;
            return opcua.StatusCodes.Good;
        };
    } else {
        options.accessLevel = "CurrentRead";
        options.userAccessLevel = "CurrentRead";
    }
    namespace.addVariable(options);
}

function parseValue(name, text) {
    switch (types[name]) {
    case "Boolean": return text === "true" || text === "TRUE" || text === "1";
    case "String": return text;
    case "Double": case "Float": return parseFloat(text);
    default: return parseInt(text, 10);
    }
}

// The discovery server makes its endpoint without passing `host` on, and it
// announces itself (and every server registered with it) by multicast DNS on
// every interface. Its endpoint gets the loopback address before it listens,
// and its multicast DNS sockets are bound to loopback; the tests ask it by
// FindServers only.
function keepDiscoveryOnLoopback(server) {
    const makeEndpoint = server._delayInit;
    server._delayInit = async () => {
        await makeEndpoint();
        for (const endpoint of server.endpoints)
            endpoint.host = loopback;
    };
    const bonjour = require("sterfive-bonjour-service");
    const Bonjour = bonjour.Bonjour;
    bonjour.Bonjour = class extends Bonjour {
        constructor(options, onError) {
            super({ ...options, interface: loopback, bind: loopback }, onError);
        }
    };
}

async function main() {
    const securityOptions = {
        securityPolicies: [opcua.SecurityPolicy.None],
        securityModes: [opcua.MessageSecurityMode.None],
        allowAnonymous: true,
    };
    let server;
    if (discovery) {
        // Servers register over a signed channel, so the discovery server
        // offers the secure endpoints too; clients use the one without.
        server = new opcua.OPCUADiscoveryServer({ port, hostname: loopback, host: loopback });
        keepDiscoveryOnLoopback(server);
    } else {
        server = new opcua.OPCUAServer({
            port,
            hostname: loopback,
            host: loopback,
            resourcePath: "/telvo",
            buildInfo: { productName: "TelvoTestServer", manufacturerName: "Telvo Test Plant" },
            serverInfo: {
                applicationUri: "urn:telvo:test:server",
                productUri: "urn:telvo:test",
                applicationName: { text: "Telvo Test Server" },
            },
            ...securityOptions,
            ...(registerAt
                ? { registerServerMethod: opcua.RegisterServerMethod.LDS, discoveryServerEndpointUrl: registerAt }
                : {}),
        });
        await server.initialize();
        const addressSpace = server.engine.addressSpace;
        const namespace = addressSpace.getOwnNamespace();
        const plant = namespace.addFolder(addressSpace.rootFolder.objects, { browseName: "Plant", nodeId: "s=Plant" });
        const tank = namespace.addObject({ organizedBy: plant, browseName: "Tank", nodeId: "s=Tank" });
        addVar(namespace, tank, "Tank.Level", "Level", "Int32", 42, true);
        addVar(namespace, tank, "Tank.Running", "Running", "Boolean", true, true);
        addVar(namespace, tank, "Tank.Temperature", "Temperature", "Double", 21.5, true);
        addVar(namespace, tank, "Tank.Label", "Label", "String", "Main tank", true);
        addVar(namespace, tank, "Tank.Serial", "Serial", "String", "SN-0001", false);
        addVar(namespace, tank, "Tank.Pressure", "Pressure", "Float", 1.25, true);
        addVar(namespace, tank, "Tank.Count", "Count", "UInt16", 7, true);
        addVar(namespace, tank, "Tank.Report", "Report", "String", "x".repeat(100000), true);
        // Many siblings: a browse of this folder needs BrowseNext and
        // arrives in several chunks.
        const many = namespace.addFolder(plant, { browseName: "Many", nodeId: "s=Many" });
        for (let i = 0; i < 300; i++) {
            const n = String(i).padStart(3, "0");
            addVar(namespace, many, "Many.Item" + n, "Item" + n, "Int32", i, true);
        }
    }
    if (registerAt) {
        // READY only once the discovery server knows us.
        const registered = new Promise((resolve) => server.once("serverRegistered", resolve));
        await server.start();
        await registered;
    } else {
        await server.start();
    }
    console.log("READY " + port);

    const rl = readline.createInterface({ input: process.stdin });
    const stop = async () => {
        // A shutdown that waits on a discovery server already gone must
        // not keep the process alive.
        setTimeout(() => process.exit(0), 2000).unref();
        try { await server.shutdown(0); } catch (e) { /* going anyway */ }
        process.exit(0);
    };
    rl.on("line", (line) => {
        const parts = line.trim().split(" ");
        if (parts[0] === "get" && parts[1] in values) {
            const v = values[parts[1]];
            console.log("VALUE " + parts[1] + " " + (typeof v === "string" && v.length > 64 ? "<" + v.length + " chars>" : v));
        } else if (parts[0] === "set" && parts[1] in values) {
            values[parts[1]] = parseValue(parts[1], parts.slice(2).join(" "));
            console.log("OK " + parts[1]);
        } else if (parts[0] === "quit") {
            stop();
        } else {
            console.log("ERROR " + line);
        }
    });
    rl.on("close", stop);
}

main().catch((e) => {
    console.error(e);
    process.exit(1);
});
