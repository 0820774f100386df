// node-opcua's own client reading one variable N times in one session: the
// figure our client is compared with (bench/bench_opc).
//
//   node bench_client.js ENDPOINT [N]    -> "reads N seconds S per_second R"
"use strict";

const opcua = require("node-opcua");

async function main() {
    const endpoint = process.argv[2];
    const n = parseInt(process.argv[3] || "1000", 10);
    const client = opcua.OPCUAClient.create({
        endpointMustExist: false,
        securityMode: opcua.MessageSecurityMode.None,
        securityPolicy: opcua.SecurityPolicy.None,
        connectionStrategy: { maxRetry: 0 },
    });
    await client.connect(endpoint);
    const session = await client.createSession();
    const nodeToRead = { nodeId: "ns=1;s=Tank.Level", attributeId: opcua.AttributeIds.Value };
    await session.read(nodeToRead); // warm up
    const start = process.hrtime.bigint();
    for (let i = 0; i < n; i++) {
        await session.read(nodeToRead);
    }
    const seconds = Number(process.hrtime.bigint() - start) / 1e9;
    console.log("reads " + n + " seconds " + seconds.toFixed(3) + " per_second " + (n / seconds).toFixed(0));
    await session.close();
    await client.disconnect();
}

main().catch((e) => {
    console.error(e.message);
    process.exit(1);
});
